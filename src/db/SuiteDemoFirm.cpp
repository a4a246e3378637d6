#include "db/SuiteDemoFirm.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "store/Field.h"

namespace {

struct Date {
  int y, m, d;
};

ff::Value Day(Date date) { return ff::encodeDate(date.y, date.m, date.d); }
ff::Value Flag(bool b) { return std::int64_t{b ? 1 : 0}; }
ff::Value Whole(int n) { return std::int64_t{n}; }

constexpr double kVatPercent = 25.0;
constexpr const char* kOwnName = "Fjordlys Elektro AS";
constexpr const char* kOwnStreet = "Sjøgata 4";
constexpr const char* kOwnPostnr = "7713";
constexpr const char* kOwnPlace = "Steinkjer";
constexpr int kDepartment = 1;

// ---------------------------------------------------------------- staff

struct Employee {
  const char* initials;
  const char* name;
  const char* address;
  const char* postnr;
  const char* place;
  const char* mobile;
  const char* position;
  double hourlyWage;
  double monthlySalary;  // 0: paid by the hour
  Date started;
  const char* user;
  bool boardMember;
};

constexpr Employee kStaff[] = {
    {"ON", "Ola Nordmann", "Bakkeveien 3", "7716", "Steinkjer", "915 22 333", "Daglig leder",
     345, 0, {2009, 8, 1}, "ola", true},
    {"KH", "Kari Haugen", "Elvegata 14", "7725", "Steinkjer", "928 41 070", "Elektroinstallatør",
     298, 0, {2016, 3, 1}, "kari", false},
    {"PS", "Per Solberg", "Mælen 2", "7710", "Sparbu", "466 10 215", "Lærling elektriker", 172,
     0, {2023, 8, 14}, "per", false},
    {"IL", "Ingrid Lie", "Kirkegata 9", "7713", "Steinkjer", "971 30 588", "Kontor og regnskap",
     0, 42000, {2012, 1, 2}, "ingrid", false},
};

DemoTable Staff() {
  DemoTable t{"PersonTable", {}};
  int personNo = 0;
  for (const Employee& e : kStaff) {
    t.rows.push_back({{"INITIALER", e.initials},
                      {"NR", std::to_string(++personNo)},
                      {"NAVN", e.name},
                      {"ADR", e.address},
                      {"POSTNR", e.postnr},
                      {"POSTSTED", e.place},
                      {"MOBIL", e.mobile},
                      {"FIRMTLF", "74 16 20 10"},
                      {"STILLING", e.position},
                      {"TIMELONN", e.hourlyWage},
                      {"FASTLONN", e.monthlySalary},
                      {"FASTLONNET", Flag(e.monthlySalary > 0)},
                      {"FASTANSATT", Flag(true)},
                      {"STYREMEDLE", Flag(e.boardMember)},
                      {"GRADERING", Whole(1)},
                      {"START", Day(e.started)},
                      {"EPOST", std::string(e.user) + "@fjordlys.no"},
                      {"BRUKERNAVN", e.user},
                      {"PERSONNR", Whole(personNo)}});
  }
  return t;
}

// ---------------------------------------------------------------- companies

struct Company {
  int nr;  // customers from 12001, suppliers from 20001
  const char* name;
  const char* street;
  const char* postBox;
  const char* postnr;
  const char* place;
  const char* contact;
  const char* phone;
  const char* orgNr;
  const char* email;
  bool customer;
  bool equipmentSupplier;
  bool regular;  // a fixed customer with a framework agreement
  int accountIn;  // set by the first posting made for the company; 0 before it
  int accountOut;
};

constexpr Company kCompanies[] = {
    {12001, "Steinkjer kommune", "Kongens gate 20", "Postboks 2530", "7729", "Steinkjer",
     "Knut Aune", "74 16 90 00", "912 345 678", "postmottak@steinkjer.example.no", true, false,
     true, 1500, 3000},
    {12002, "Bakeri Solberg AS", "Storgata 5", "", "7600", "Levanger", "Lars Solberg",
     "74 08 12 40", "923 456 789", "post@bakerisolberg.example.no", true, false, false, 0, 0},
    {12003, "Hegge Gårdsdrift", "Hegge", "", "7710", "Sparbu", "Marit Hegge", "74 14 55 02",
     "934 567 890", "marit@hegge.example.no", true, false, false, 0, 0},
    {20001, "Nordlys Elektrogrossist AS", "Industriveien 8", "", "7080", "Heimdal",
     "Morten Dahl", "72 59 30 00", "945 678 901", "ordre@nordlys.example.no", false, false,
     false, 4000, 2400},
    {20002, "Trønder Kjøleteknikk AS", "Sluppenvegen 3", "", "7037", "Trondheim", "Silje Moe",
     "73 82 44 10", "956 789 012", "service@kjoleteknikk.example.no", false, true, false, 0, 0},
};

const Company& CompanyNo(int nr) {
  for (const Company& c : kCompanies) {
    if (c.nr == nr) return c;
  }
  throw std::logic_error("sample firm: no company " + std::to_string(nr));
}

DemoTable Companies() {
  DemoTable t{"FirmaTable", {}};
  for (const Company& c : kCompanies) {
    t.rows.push_back({{"Nr", Whole(c.nr)},
                      {"Navn", c.name},
                      {"Gateadresse", c.street},
                      {"Postadresse", c.postBox},
                      {"Postnr", c.postnr},
                      {"Poststed", c.place},
                      {"Kontakt", c.contact},
                      {"Telefon", c.phone},
                      {"OrgNr", c.orgNr},
                      {"E_Mail", c.email},
                      {"Kunde", Flag(c.customer)},
                      {"Leverandor", Flag(!c.customer)},
                      {"Utstyr", Flag(c.equipmentSupplier)},
                      {"Avtale", Flag(c.regular)},
                      {"Kreditt", Flag(false)},
                      {"Mva", Flag(true)},
                      {"Fastkunde", Flag(c.regular)},
                      {"Bransje", c.customer ? "Kunde" : "Grossist"},
                      {"KontoInn", Whole(c.accountIn)},
                      {"KontoUt", Whole(c.accountOut)}});
  }
  return t;
}

struct Contact {
  int companyNr;
  const char* name;
  const char* position;
  const char* department;
  const char* phone;
  const char* mobile;
  const char* email;
};

constexpr Contact kContacts[] = {
    {12001, "Knut Aune", "Driftsleder", "Eiendom", "74 16 90 41", "913 55 120",
     "knut.aune@steinkjer.example.no"},
    {12001, "Anne Berg", "Rektor", "Fjellheim skole", "74 16 95 10", "992 04 311",
     "anne.berg@steinkjer.example.no"},
    {12002, "Lars Solberg", "Daglig leder", "", "74 08 12 40", "907 66 540",
     "lars@bakerisolberg.example.no"},
    {20001, "Morten Dahl", "Selger", "Salg", "72 59 30 12", "934 12 876",
     "morten.dahl@nordlys.example.no"},
    {20002, "Silje Moe", "Servicekoordinator", "Service", "73 82 44 15", "958 20 447",
     "silje.moe@kjoleteknikk.example.no"},
};

DemoTable Contacts() {
  DemoTable t{"KontaktTable", {}};
  for (const Contact& c : kContacts) {
    t.rows.push_back({{"Nr", Whole(c.companyNr)},
                      {"Kontakt", c.name},
                      {"Stilling", c.position},
                      {"Avdeling", c.department},
                      {"Telefon", c.phone},
                      {"Mobil", c.mobile},
                      {"E-mail", c.email},
                      {"Landkode", "+47"}});
  }
  return t;
}

// ---------------------------------------------------------------- items

struct Item {
  const char* nr;
  const char* supplierItemNr;
  const char* text;
  const char* unit;
  double cost;
  double price;
  double stock;
  int supplier;
  bool work;
};

constexpr const char* kWorkItem = "ARB";

constexpr Item kItems[] = {
    {"EL-1001", "1015224", "Kabel PFXP 3G2,5", "m", 14.5, 29, 450, 20001, false},
    {"EL-2040", "4412040", "LED-armatur 40 W", "stk", 690, 1290, 24, 20001, false},
    {"EL-3010", "2203016", "Kursautomat C16", "stk", 95, 189, 60, 20001, false},
    {"KJ-0012", "KA-12", "Kjøleaggregat KA-12", "stk", 38500, 54900, 1, 20002, false},
    {kWorkItem, "", "Arbeid elektriker", "t", 380, 650, 0, 0, true},
};

const Item& ItemNo(const std::string& nr) {
  for (const Item& i : kItems) {
    if (nr == i.nr) return i;
  }
  throw std::logic_error("sample firm: no item " + nr);
}

DemoTable Items() {
  DemoTable t{"VareRegister", {}};
  for (const Item& i : kItems) {
    DemoRow row = {{"Varenr", i.nr},
                   {"LeverVarenr", i.supplierItemNr},
                   {"Tekst", i.text},
                   {"Enhet", i.unit},
                   {"Innpris", i.cost},
                   {"Kostpris", i.cost},
                   {"Utpris", i.price},
                   {"Paaslag", (i.price - i.cost) / i.cost * 100},
                   {"PaaslagProsent", Flag(true)},
                   {"MvaSum", i.price * kVatPercent / 100},
                   {"InklMva", i.price * (1 + kVatPercent / 100)},
                   {"PaaLager", i.stock},
                   {"Arbeid", Flag(i.work)},
                   {"Avdeling", Whole(kDepartment)}};
    if (i.supplier != 0) {
      row.push_back({"Levernr", Whole(i.supplier)});
      row.push_back({"LeverNavn", CompanyNo(i.supplier).name});
    }
    t.rows.push_back(std::move(row));
  }
  return t;
}

DemoTable ItemDetails() {
  return {"VareTable2",
          {{{"Varenr", "KJ-0012"},
            {"Vekt", 118.0},
            {"Volum", 0.9},
            {"Lengde", 1.1},
            {"Bredde", 0.7},
            {"Høyde", 1.2},
            {"VendorNR", Whole(20002)},
            {"Standard", "EN 378"}}}};
}

// ---------------------------------------------------------------- projects and registrations

struct Project {
  double nr;
  const char* name;
  int customer;
  const char* address;
  const char* postnr;
  const char* place;
  double hourlyRate;
  const char* responsible;
  const char* initials;
};

constexpr Project kProjects[] = {
    {1001, "Ombygging Fjellheim skole", 12001, "Fjellheimveien 2", "7718", "Steinkjer", 650,
     "Ola Nordmann", "ON"},
    {1002, "Kjølerom Bakeri Solberg", 12002, "Storgata 5", "7600", "Levanger", 690, "Kari Haugen",
     "KH"},
};

struct Part {
  double project;
  double part;
  const char* text;
  const char* responsible;
  double estimatedHours;
  double estimatedItems;
};

constexpr Part kParts[] = {
    {1001, 1, "Ny hovedtavle", "ON", 40, 18000},
    {1001, 2, "Belysning klasserom", "KH", 60, 35000},
    {1002, 1, "Kjøleaggregat", "KH", 24, 60000},
    {1002, 2, "Styring og alarm", "PS", 12, 5000},
};

// A registration is against a project and part, or against equipment and a job.
struct Target {
  double project, part, equipment, job;
};

constexpr double kAnyPart = -1;

// True when a registration is on the project and part (kAnyPart: on any part of it).
bool Counts(const Target& t, double project, double part) {
  return t.project == project && (part == kAnyPart || t.part == part);
}

struct HourRow {
  Date date;
  const char* from;
  const char* to;
  const char* initials;
  Target target;
  const char* text;
  double normal;  // 30 minutes' break at 11:30, normal time until 16:00
  double overtime50;
  bool done;
};

constexpr HourRow kHours[] = {
    {{2024, 3, 4}, "07:00", "15:00", "ON", {1001, 1, 0, 0}, "Riving av gammel tavle", 7.5, 0, true},
    {{2024, 3, 4}, "07:00", "15:00", "PS", {1001, 1, 0, 0}, "Riving av gammel tavle", 7.5, 0, true},
    {{2024, 3, 5}, "07:00", "17:00", "ON", {1001, 1, 0, 0}, "Montasje ny hovedtavle", 7.5, 2, true},
    {{2024, 3, 6}, "07:00", "15:00", "KH", {1001, 2, 0, 0}, "Nye armaturer 2. etg.", 7.5, 0, true},
    {{2024, 3, 7}, "07:00", "15:00", "KH", {1001, 2, 0, 0}, "Nye armaturer 2. etg.", 7.5, 0, true},
    {{2024, 3, 7}, "07:00", "11:00", "PS", {1001, 2, 0, 0}, "Kabeltrekk klasserom", 4, 0, true},
    {{2024, 3, 11}, "07:00", "15:00", "KH", {1002, 1, 0, 0}, "Montasje kjøleanlegg", 7.5, 0, true},
    {{2024, 3, 12}, "07:00", "17:00", "KH", {1002, 1, 0, 0}, "Igangkjøring kjølerom", 7.5, 2, true},
    {{2024, 3, 13}, "12:00", "15:30", "PS", {1002, 2, 0, 0}, "Alarmkabel og føler", 3.5, 0, true},
    // Routine jobs: one done, and the next occurrences scheduled one interval on, off weekends.
    {{2024, 3, 14}, "07:00", "11:00", "ON", {0, 0, 502, 1}, "Årlig kontroll nødlys", 4, 0, true},
    {{2025, 3, 14}, "07:00", "11:00", "ON", {0, 0, 502, 1}, "Årlig kontroll nødlys", 4, 0, false},
    {{2024, 9, 9}, "08:00", "10:00", "KH", {0, 0, 501, 1}, "Service kjøleaggregat", 2, 0, false},
};

struct ItemUse {
  Date date;
  const char* item;
  double quantity;
  Target target;
};

constexpr ItemUse kItemUse[] = {
    {{2024, 3, 5}, "EL-3010", 12, {1001, 1, 0, 0}},
    {{2024, 3, 5}, "EL-1001", 40, {1001, 1, 0, 0}},
    {{2024, 3, 6}, "EL-2040", 16, {1001, 2, 0, 0}},
    {{2024, 3, 11}, "KJ-0012", 1, {1002, 1, 0, 0}},
    {{2024, 3, 13}, "EL-1001", 25, {1002, 2, 0, 0}},
};

const Project& ProjectNo(double nr) {
  for (const Project& p : kProjects) {
    if (p.nr == nr) return p;
  }
  throw std::logic_error("sample firm: no project " + std::to_string(nr));
}

DemoRow TargetFields(const Target& t) {
  return {{"PROSJEKTNR", t.project},
          {"SYSTEMNR", t.part},
          {"UTSTYRNR", t.equipment},
          {"JOBB", t.job}};
}

void Append(DemoRow& row, const DemoRow& more) { row.insert(row.end(), more.begin(), more.end()); }

int CustomerOf(const Target& t) {
  return t.project != 0 ? ProjectNo(t.project).customer : 0;
}

DemoTable Hours() {
  DemoTable t{"TidTable", {}};
  for (const HourRow& h : kHours) {
    DemoRow row = {{"DATO", Day(h.date)},
                   {"FRA", h.from},
                   {"TIL", h.to},
                   {"TEKST", h.text},
                   {"INITIALER", h.initials},
                   {"TIMER", h.normal},
                   {"OVERTID_50", h.overtime50},
                   {"OVERTID_10", 0.0},
                   {"REG_NR", static_cast<double>(CustomerOf(h.target))},
                   {"TIMETYPE2", Whole(kDepartment)},
                   {"TYPE", Whole(0)},
                   {"AVLEST", Flag(h.done)},
                   {"UTFORT", Flag(h.done)},
                   {"RUTINE", Flag(h.target.job != 0)},
                   {"PRIORITERT", Flag(false)},
                   {"EKSTERN", Flag(false)},
                   {"KunKalender", Flag(false)}};
    Append(row, TargetFields(h.target));
    t.rows.push_back(std::move(row));
  }
  return t;
}

double ItemUseTotal(const ItemUse& u) { return ItemNo(u.item).price * u.quantity; }

DemoTable ItemUses() {
  DemoTable t{"VareTable", {}};
  for (const ItemUse& u : kItemUse) {
    const Item& item = ItemNo(u.item);
    DemoRow row = {{"DATO", Day(u.date)},
                   {"VARENR", item.nr},
                   {"TEKST1", item.text},
                   {"SUM", item.price},
                   {"ANTALL", u.quantity},
                   {"ENHET", item.unit},
                   {"TOTAL", ItemUseTotal(u)},
                   {"UTSTYRDEL", 0.0},
                   {"TILLEGG", Flag(false)},
                   {"AVLEST", Flag(true)},
                   {"TIMETYPE2", Whole(kDepartment)}};
    Append(row, TargetFields(u.target));
    t.rows.push_back(std::move(row));
  }
  return t;
}

struct Trip {
  Date date;
  const char* initials;
  const char* from;
  const char* to;
  double kmStart, kmEnd;
  double project, part;
  int passengers;
  bool trailer;
  bool freight;
};

constexpr Trip kTrips[] = {
    {{2024, 3, 4}, "ON", "Steinkjer", "Fjellheim skole", 48210, 48236, 1001, 1, 1, false, false},
    {{2024, 3, 6}, "KH", "Steinkjer", "Fjellheim skole", 31050, 31076, 1001, 2, 0, false, false},
    {{2024, 3, 11}, "KH", "Steinkjer", "Levanger", 31120, 31222, 1002, 1, 0, true, true},
};

DemoTable Trips() {
  DemoTable t{"KmTable", {}};
  for (const Trip& k : kTrips) {
    const Company& customer = CompanyNo(ProjectNo(k.project).customer);
    t.rows.push_back({{"DATO", Day(k.date)},
                      {"REISEFRA", k.from},
                      {"REISETIL", k.to},
                      {"KMSTART", k.kmStart},
                      {"KMSLUTT", k.kmEnd},
                      {"KMTOTAL", k.kmEnd - k.kmStart},
                      {"TYPEBIL", Whole(0)},
                      {"PASSASJERE", Whole(k.passengers)},
                      {"HENGER", Flag(k.trailer)},
                      {"SKOGSVEI", Flag(false)},
                      {"UTSTYRFRAK", Flag(k.freight)},
                      {"BELASTKUND", Flag(false)},
                      {"AVLEST", Flag(true)},
                      {"PROSJEKTNR", k.project},
                      {"SYSTEMNR", k.part},
                      {"INITIALER", k.initials},
                      {"TIMETYPE2", Whole(kDepartment)},
                      {"NR", static_cast<double>(customer.nr)},
                      {"NAVN", customer.name}});
  }
  return t;
}

struct Travel {
  double regnr;
  const char* initials;
  Date from;
  const char* fromTime;
  Date to;
  const char* toTime;
  const char* route;
  const char* purpose;
  double project, part;
  int company;
  double advance;
};

constexpr Travel kTravels[] = {
    {1, "ON", {2024, 3, 18}, "07:30", {2024, 3, 19}, "17:00", "Steinkjer - Trondheim - Steinkjer",
     "Innkjøp og møte med grossist", 1001, 1, 20001, 500},
    {2, "KH", {2024, 3, 12}, "07:00", {2024, 3, 12}, "18:00", "Steinkjer - Levanger - Steinkjer",
     "Igangkjøring kjølerom", 1002, 1, 12002, 0},
};

struct Expense {
  double regnr;  // the travel it belongs to
  int type;
  const char* text;
  double sum;
};

constexpr Expense kExpenses[] = {
    {1, 1, "Hotell Trondheim", 1450},
    {1, 2, "Middag", 385},
    {1, 3, "Parkering", 120},
    {2, 4, "Bompenger", 84},
    {2, 2, "Lunsj", 165},
};

double TravelExpenses(double regnr) {
  double sum = 0;
  for (const Expense& e : kExpenses) {
    if (e.regnr == regnr) sum += e.sum;
  }
  return sum;
}

const Travel& TravelNo(double regnr) {
  for (const Travel& r : kTravels) {
    if (r.regnr == regnr) return r;
  }
  throw std::logic_error("sample firm: no travel " + std::to_string(regnr));
}

DemoTable Travels() {
  DemoTable t{"ReiseTable", {}};
  for (const Travel& r : kTravels) {
    const double expenses = TravelExpenses(r.regnr);
    t.rows.push_back({{"REGNR", r.regnr},
                      {"INITIALER", r.initials},
                      {"FRADATO", Day(r.from)},
                      {"FRATID", r.fromTime},
                      {"TILDATO", Day(r.to)},
                      {"TILTID", r.toTime},
                      {"REISERUTE", r.route},
                      {"FORMAAL", r.purpose},
                      {"NR", static_cast<double>(r.company)},
                      {"NAVN", CompanyNo(r.company).name},
                      {"PROSJEKTNR", r.project},
                      {"SYSTEMNR", r.part},
                      {"AVLEST", Flag(true)},
                      {"LANDKODE", Whole(47)},
                      {"AVDELING", Whole(kDepartment)},
                      {"TYPE", Whole(0)},
                      {"SUMUTGIFT", expenses},
                      {"PREBETALT", 0.0},
                      {"FORSKUDD", r.advance},
                      {"TILGODE", expenses - r.advance},
                      {"UTBETALT", Flag(false)}});
  }
  return t;
}

DemoTable Expenses() {
  DemoTable t{"UtleggTable", {}};
  for (const Expense& e : kExpenses) {
    const Travel& r = TravelNo(e.regnr);
    t.rows.push_back({{"REGNR", e.regnr},
                      {"INITIALER", r.initials},
                      {"TYPEUTLEGG", Whole(e.type)},
                      {"SUM", e.sum},
                      {"TEKST", e.text},
                      {"PROSJEKTNR", r.project},
                      {"SYSTEMNR", r.part},
                      {"NR", static_cast<double>(r.company)},
                      {"NAVN", CompanyNo(r.company).name},
                      {"UTBETALT", Flag(false)},
                      {"AVLEST", Flag(false)}});
  }
  return t;
}

// ---------------------------------------------------------------- equipment

struct Equipment {
  double nr;
  double partOf;  // the equipment this is a component of; 0: none
  double partNo;
  const char* name;
  const char* place;
  const char* maker;
  int supplier;
  Date bought;
  Date installed;
  double price;
  const char* typeNr;
  const char* serialNr;
  const char* itemNr;
  double watt;
  bool cooling;
};

constexpr Equipment kEquipment[] = {
    {501, 0, 0, "Kjøleaggregat KA-12", "Bakeri Solberg, kjølerom", "Trønder Kjøleteknikk AS",
     20002, {2024, 3, 11}, {2024, 3, 12}, 38500, "KA-12", "TK24-0315", "KJ-0012", 2200, true},
    {502, 0, 0, "Nødlysanlegg", "Fjellheim skole", "Nordlys Elektrogrossist AS", 20001,
     {2018, 8, 1}, {2018, 8, 15}, 64000, "NL-S24", "NL18-2231", "", 480, false},
    {503, 502, 1, "Nødlysarmatur gang 1. etasje", "Fjellheim skole, gang 1. etasje",
     "Nordlys Elektrogrossist AS", 20001, {2018, 8, 1}, {2018, 8, 15}, 1850, "NL-A8", "NL18-2240",
     "", 8, false},
};

DemoTable EquipmentRegister() {
  DemoTable t{"Utstyrtable", {}};
  for (const Equipment& e : kEquipment) {
    t.rows.push_back({{"UTSTYRNR", e.nr},
                      {"LINKUTSTYR", e.partOf},
                      {"LINKDEL", e.partNo},
                      {"KOMPONENT", e.name},
                      {"PLASSERING", e.place},
                      {"PRODUSENT", e.maker},
                      {"NR", static_cast<double>(e.supplier)},
                      {"NAVN", CompanyNo(e.supplier).name},
                      {"DATOKJOPT", Day(e.bought)},
                      {"DATOINST", Day(e.installed)},
                      {"DATORATE", Day(e.installed)},
                      {"PRIS", e.price},
                      {"PRIORITET", Whole(e.cooling ? 1 : 2)},
                      {"ARB_ELEK", Flag(true)},
                      {"ARB_ROR", Flag(e.cooling)},
                      {"ARB_MEK", Flag(false)},
                      {"ARB_AUTOM", Flag(e.cooling)},
                      {"ARB_ELTROC", Flag(false)},
                      {"ARB_HYDRAU", Flag(false)},
                      {"UTENDORS", Flag(false)},
                      {"SERVICEAVT", Flag(e.partOf == 0)},
                      {"TYPENR", e.typeNr},
                      {"SERIENR", e.serialNr},
                      {"VARENR", e.itemNr},
                      {"WATT", e.watt}});
  }
  return t;
}

struct Job {
  double equipment;
  double job;
  Date registered;
  const char* text;
  const char* initials;
  const char* from;
  const char* to;
  double hours;
  double intervalDays;
};

constexpr Job kJobs[] = {
    {501, 1, {2024, 3, 12}, "Service kjøleaggregat", "KH", "08:00", "10:00", 2, 180},
    {502, 1, {2018, 8, 15}, "Årlig kontroll nødlys", "ON", "07:00", "11:00", 4, 365},
};

DemoTable Jobs() {
  DemoTable t{"JobbTable", {}};
  for (const Job& j : kJobs) {
    t.rows.push_back({{"UTSTYRNR", j.equipment},
                      {"JOBB", j.job},
                      {"DATO", Day(j.registered)},
                      {"FRA", j.from},
                      {"TIL", j.to},
                      {"TEKST", j.text},
                      {"INITIALER", j.initials},
                      {"TIMER", j.hours},
                      {"REG_NR", j.intervalDays},
                      {"UTSTYRDEL", 0.0},
                      {"TIMETYPE2", Whole(kDepartment)},
                      {"PRIORITERT", Flag(false)},
                      {"RUTINE", Flag(true)},
                      {"UTFORT", Flag(false)},
                      {"EKSTERN", Flag(false)}});
  }
  return t;
}

struct Cable {
  const char* cabinet;
  const char* component;  // "#": the cabinet's own row
  const char* terminal;
  const char* cableNr;
  const char* cableType;
  const char* text;
  double sortNr;
  const char* sortKey;
};

constexpr Cable kCables[] = {
    {"NL1", "#", "", "", "", "Sentral nødlystavle", -1, "NL1   "},
    {"NL1", "K1", "1", "W101", "PFSP 3x1,5", "Nødlys gang 1. etasje", 1, "NL1.K1.001"},
    {"NL1", "K1", "2", "W102", "PFSP 3x1,5", "Nødlys gang 2. etasje", 2, "NL1.K1.002"},
};

DemoTable Cables() {
  DemoTable t{"KabelTable", {}};
  for (const Cable& c : kCables) {
    t.rows.push_back({{"SKAPNR", c.cabinet},
                      {"KOMPNR", c.component},
                      {"KLEMME", c.terminal},
                      {"KABELNR", c.cableNr},
                      {"KABELTYPE", c.cableType},
                      {"TEKST", c.text},
                      {"SORTERNR", c.sortNr},
                      {"SORTERING", c.sortKey},
                      {"UTSTYRNR", 502.0},
                      {"UTSTYRDEL", 0.0}});
  }
  return t;
}

DemoTable Documents() {
  return {"DokumentTable",
          {{{"DATO", Day({2024, 3, 1})},
            {"NR", 12001.0},
            {"NAVN", "Steinkjer kommune"},
            {"INITIALER", "ON"},
            {"TEKST", "Enlinjeskjema ny hovedtavle"},
            {"EMNE", "Tegning"},
            {"DOKUMENT", "prosjekt/1001/hovedtavle-enlinjeskjema.pdf"},
            {"PROSJEKTNR", 1001.0},
            {"SYSTEMNR", 1.0},
            {"TYPE", 1.0}}}};
}

// ---------------------------------------------------------------- trade documents

enum class DocKind { Offer, Invoice, Order, Purchase };

struct DocLine {
  std::string item;
  double quantity;
  double price;
  double discount;  // percent
};

struct Document {
  const char* header;
  const char* lines;
  DocKind kind;
  int number;
  int company;
  double project;
  Date date;
  const char* status;
  const char* terms;
  std::vector<DocLine> items;
};

// Line sums as the line rules compute them: the discount lowers the selling total on sales
// lines and the cost total on purchase lines.
struct LineSums {
  double totalPrice, totalCost;
};

LineSums SumsOf(DocKind kind, const DocLine& line) {
  const double cost = ItemNo(line.item).cost * line.quantity;
  const double price = line.price * line.quantity;
  if (kind == DocKind::Purchase) return {price, cost - cost * line.discount / 100};
  return {price - price * line.discount / 100, cost};
}

// What a project part has used, priced for invoicing: its hours at the project's rate and its
// items at their selling price.
std::vector<DocLine> PartRegistrations(double project, double part) {
  double hours = 0;
  for (const HourRow& h : kHours) {
    if (Counts(h.target, project, part)) hours += h.normal + h.overtime50;
  }
  std::vector<DocLine> lines = {{kWorkItem, hours, ProjectNo(project).hourlyRate, 0}};
  for (const ItemUse& u : kItemUse) {
    if (Counts(u.target, project, part)) {
      lines.push_back({u.item, u.quantity, ItemNo(u.item).price, 0});
    }
  }
  return lines;
}

const std::vector<DocLine>& RefrigerationOffer() {
  static const std::vector<DocLine> lines = {
      {"KJ-0012", 1, 54900, 5},
      {"EL-1001", 30, 29, 0},
      {"EL-3010", 2, 189, 0},
      {kWorkItem, 36, 690, 0},
  };
  return lines;
}

constexpr int kOfferNo = 2001;
constexpr int kOrderNo = 3001;
constexpr int kInvoiceNo = 4001;
constexpr int kPurchaseNo = 6001;
constexpr int kInvoiceTermDays = 14;

const std::vector<Document>& TradeDocuments() {
  static const std::vector<Document> docs = {
      {"TilbudTable", "TilbudVareTable", DocKind::Offer, kOfferNo, 12002, 1002, {2024, 2, 1}, "",
       "30 dager", RefrigerationOffer()},
      {"OrdreTable", "OrdreVareTable", DocKind::Order, kOrderNo, 12002, 1002, {2024, 2, 20},
       "Startet", "30 dager", RefrigerationOffer()},
      {"InnkjopTable", "InnkjopVareTable", DocKind::Purchase, kPurchaseNo, 20001, 1001,
       {2024, 3, 4}, "Bestillt", "", {{"EL-3010", 12, 189, 0}, {"EL-1001", 100, 29, 10}}},
      {"Fakturatable", "FakturaVareTable", DocKind::Invoice, kInvoiceNo, 12001, 1001,
       {2024, 3, 15}, "Fakturert", "14 dager", PartRegistrations(1001, 1)},
  };
  return docs;
}

struct DocTotals {
  double total, cost;
  double vat() const { return total * kVatPercent / 100; }
  double withVat() const { return total + vat(); }
};

DocTotals TotalsOf(const Document& doc) {
  DocTotals t{0, 0};
  for (const DocLine& line : doc.items) {
    const LineSums s = SumsOf(doc.kind, line);
    t.total += s.totalPrice;
    t.cost += s.totalCost;
  }
  return t;
}

const Document& DocumentNo(int number) {
  for (const Document& d : TradeDocuments()) {
    if (d.number == number) return d;
  }
  throw std::logic_error("sample firm: no document " + std::to_string(number));
}

constexpr Date kInvoicePaid = {2024, 3, 25};

DemoRow HeaderRow(const Document& doc) {
  const Company& company = CompanyNo(doc.company);
  const Project& project = ProjectNo(doc.project);
  const DocTotals totals = TotalsOf(doc);
  const bool invoice = doc.kind == DocKind::Invoice;
  DemoRow row = {{"Nummer", Whole(doc.number)},
                 {"Systemnr", Whole(doc.number)},
                 {"Navn", company.name},
                 {"Status", doc.status},
                 {"Gateadresse", company.street},
                 {"Postadresse", company.postBox},
                 {"Postnr", company.postnr},
                 {"Poststed", company.place},
                 {"Kontaktperson", company.contact},
                 {"Deresref", company.contact},
                 {"Vaarref", project.responsible},
                 {"Prosjekt", project.name},
                 {"Prosjektnr", Whole(static_cast<int>(project.nr))},
                 {"Avdeling", Whole(kDepartment)},
                 {"Dato", Day(doc.date)},
                 {"Betalingsbetingelse", doc.terms},
                 {"Totalsum", totals.total},
                 {"Kostpris", totals.cost},
                 {"Fortjeneste", totals.total - totals.cost},
                 {"HeravMva", totals.vat()},
                 {"InklMva", totals.withVat()},
                 {"Valuta", "NOK"},
                 {"MVApliktig", Flag(true)},
                 {"Purring", Flag(false)},
                 {"Kreditnota", Flag(false)},
                 {"Rentenota", Flag(false)},
                 {"ErFastpris", Flag(false)},
                 {"Fakturert", Flag(invoice)},
                 {"Betalt", Flag(invoice)}};
  if (doc.kind == DocKind::Purchase) {
    Append(row, {{"Levernr", Whole(company.nr)},
                 {"LeverGateadresse", kOwnName},
                 {"LeverPostadresse", std::string(kOwnStreet) + " "},
                 {"LeverPostnr", kOwnPostnr},
                 {"LeverPoststed", kOwnPlace},
                 {"Godsmerk", "Prosjekt " + std::to_string(static_cast<int>(project.nr))}});
  } else {
    row.push_back({"Kundenr", Whole(company.nr)});
  }
  if (doc.kind == DocKind::Order) {
    Append(row,
           {{"Ordredato", Day(doc.date)}, {"Tilbudnr", Whole(kOfferNo)}, {"Leverdato", "uke 11"}});
  }
  if (invoice) {
    Append(row, {{"Fakturanr", Whole(doc.number)},
                 {"Fakturadato", Day(doc.date)},
                 {"Forfalldato", ff::valueToDouble(Day(doc.date)) + kInvoiceTermDays},
                 {"SumBetalt", totals.withVat()},
                 {"DatoBetalt", Day(kInvoicePaid)}});
  }
  return row;
}

DemoRow LineRow(const Document& doc, const DocLine& line) {
  const Item& item = ItemNo(line.item);
  const LineSums s = SumsOf(doc.kind, line);
  return {{"Nummer", Whole(doc.number)},
          {"Varenr", item.nr},
          {"Varetekst", item.text},
          {"Enhet", item.unit},
          {"Pris", line.price},
          {"Antall", line.quantity},
          {"Rabatt", line.discount},
          {"Kostpris", item.cost},
          {"Totalpris", s.totalPrice},
          {"TotalKostpris", s.totalCost},
          {"Fortjeneste", s.totalPrice - s.totalCost},
          {"Dato", Day(doc.date)},
          {"TypeNr", Whole(0)},
          {"Levert", Flag(doc.kind == DocKind::Invoice)},
          {"Ok", Flag(false)}};
}

void AddTradeDocuments(std::vector<DemoTable>& out) {
  for (const Document& doc : TradeDocuments()) {
    out.push_back({doc.header, {HeaderRow(doc)}});
    DemoTable lines{doc.lines, {}};
    for (const DocLine& line : doc.items) lines.rows.push_back(LineRow(doc, line));
    out.push_back(std::move(lines));
  }
}

// ---------------------------------------------------------------- ledger

struct Account {
  double nr;
  const char* name;
  int type;
  int vat;
  double budget;
};

constexpr Account kAccounts[] = {
    {1500, "Kundefordringer", 1, 0, 0},       {1920, "Bankinnskudd", 1, 0, 0},
    {2400, "Leverandørgjeld", 2, 0, 0},       {2700, "Utgående merverdiavgift", 2, 0, 0},
    {3000, "Salgsinntekt, avgiftspliktig", 3, 1, 2400000}, {4000, "Varekjøp", 4, 1, 900000},
    {5000, "Lønn til ansatte", 5, 0, 1100000}, {7140, "Reisekostnad", 7, 0, 40000},
};

DemoTable Accounts() {
  DemoTable t{"KontoTable", {}};
  for (const Account& a : kAccounts) {
    t.rows.push_back({{"KONTONR", a.nr},
                      {"KONTONAVN", a.name},
                      {"KONTOTYPE", Whole(a.type)},
                      {"KONTOMVA", Whole(a.vat)},
                      {"KONTOBUDSJ", a.budget},
                      {"KONTOLIKVI", Flag(a.nr == 1920)},
                      {"KONTOBANK", a.nr == 1920 ? "4202 11 34567" : ""}});
  }
  return t;
}

// Posting types as the project roll-up counts them, and the payment posting's type.
constexpr double kInvoicedOut = 1;
constexpr double kInvoiceIn = 2;
constexpr double kPayment = 5;

struct Posting {
  double regnr;
  Date date;
  int company;
  double sum;
  double accountIn, accountOut;
  Target target;
  double invoiceNr;
  std::string text;
  double type;
};

std::vector<Posting> Postings() {
  const Document& purchase = DocumentNo(kPurchaseNo);
  const Document& invoice = DocumentNo(kInvoiceNo);
  const double bought = TotalsOf(purchase).cost * (1 + kVatPercent / 100);
  const double invoiced = TotalsOf(invoice).withVat();
  const std::string invoiceNo = std::to_string(kInvoiceNo);
  constexpr double kSupplierInvoiceNo = 88123;
  return {
      {1, purchase.date, purchase.company, bought, 4000, 2400, {1001, 1, 0, 0},
       kSupplierInvoiceNo, "Innkjøp " + std::to_string(kPurchaseNo), kInvoiceIn},
      {2, invoice.date, invoice.company, invoiced, 1500, 3000, {1001, 1, 0, 0}, kInvoiceNo,
       "Faktura " + invoiceNo, kInvoicedOut},
      {3, kInvoicePaid, invoice.company, invoiced, 1920, 1500, {1001, 0, 0, 0}, kInvoiceNo,
       "Innbetaling faktura " + invoiceNo, kPayment},
  };
}

DemoTable PostingRows() {
  DemoTable t{"PosteringTable", {}};
  for (const Posting& p : Postings()) {
    DemoRow row = {{"REGNR", p.regnr},
                   {"DATO", Day(p.date)},
                   {"NR", static_cast<double>(p.company)},
                   {"NAVN", CompanyNo(p.company).name},
                   {"POSTSUM", p.sum},
                   {"KONTOINN", p.accountIn},
                   {"KONTOUT", p.accountOut},
                   {"UTSTYRDEL", 0.0},
                   {"FAKTURANR", p.invoiceNr},
                   {"POSTTEKST", p.text},
                   {"MVAPROSENT", kVatPercent},
                   {"POSTTYPE", p.type}};
    Append(row, TargetFields(p.target));
    t.rows.push_back(std::move(row));
  }
  return t;
}

// ---------------------------------------------------------------- roll-ups

// The sums the roll-up writes, over one part or (kAnyPart) the whole project. Trips are
// charged at rates from the settings, which a fresh database has none of, so the sundries
// are the travel expenses alone.
struct RollUp {
  double hours = 0, items = 0, invoicedOut = 0, invoicesIn = 0, sundries = 0;
  double first = 0, last = 0;
};

RollUp RollUpOf(double project, double part) {
  RollUp s;
  for (const HourRow& h : kHours) {
    if (!Counts(h.target, project, part)) continue;
    const double day = ff::encodeDate(h.date.y, h.date.m, h.date.d);
    s.first = s.hours == 0 ? day : std::min(s.first, day);
    s.last = std::max(s.last, day);
    s.hours += h.normal + h.overtime50;
  }
  for (const ItemUse& u : kItemUse) {
    if (Counts(u.target, project, part)) s.items += ItemUseTotal(u);
  }
  for (const Posting& p : Postings()) {
    if (!Counts(p.target, project, part)) continue;
    if (p.type == kInvoicedOut) s.invoicedOut += p.sum;
    if (p.type == kInvoiceIn) s.invoicesIn += p.sum;
  }
  for (const Travel& r : kTravels) {
    if (Counts({r.project, r.part, 0, 0}, project, part)) s.sundries += TravelExpenses(r.regnr);
  }
  return s;
}

double EstimatedInvoicing(const Part& part) {
  return part.estimatedHours * ProjectNo(part.project).hourlyRate + part.estimatedItems;
}

DemoTable Parts() {
  DemoTable t{"SystemTable", {}};
  for (const Part& p : kParts) {
    const RollUp s = RollUpOf(p.project, p.part);
    t.rows.push_back({{"PROSJEKTNR", p.project},
                      {"SYSTEMNR", p.part},
                      {"TEKST", p.text},
                      {"ANSVARLIG", p.responsible},
                      {"STARTDATO", s.first},
                      {"SLUTTDATO", s.last},
                      {"CALARBEID", p.estimatedHours},
                      {"ARBEID", s.hours},
                      {"CALVARER", p.estimatedItems},
                      {"VARER", s.items},
                      {"CALINNFAKT", 0.0},
                      {"INNFAKT", s.invoicesIn},
                      {"CALDIVERSE", 0.0},
                      {"DIVERSE", s.sundries},
                      {"CALUTFAKT", EstimatedInvoicing(p)},
                      {"UTFAKT", s.invoicedOut},
                      {"TIMETYPE2", Whole(kDepartment)},
                      {"EKSTERN", Flag(false)},
                      {"TYPE", Whole(0)}});
  }
  return t;
}

struct Estimates {
  double hours = 0, items = 0, invoicing = 0;
};

Estimates EstimatesOf(const Project& p) {
  Estimates e;
  for (const Part& part : kParts) {
    if (part.project != p.nr) continue;
    e.hours += part.estimatedHours;
    e.items += part.estimatedItems;
    e.invoicing += EstimatedInvoicing(part);
  }
  return e;
}

DemoTable Projects() {
  DemoTable t{"ProsjektTable", {}};
  for (const Project& p : kProjects) {
    const RollUp sum = RollUpOf(p.nr, kAnyPart);
    const Estimates est = EstimatesOf(p);
    const Company& customer = CompanyNo(p.customer);
    const double work = p.hourlyRate * sum.hours;
    const double cost = sum.items + work + sum.sundries + sum.invoicesIn;
    t.rows.push_back({{"PROSJEKTNR", p.nr},
                      {"PROSNAVN", p.name},
                      {"NR", static_cast<double>(customer.nr)},
                      {"NAVN", customer.name},
                      {"ADRESSE", p.address},
                      {"POSTNR", p.postnr},
                      {"POSTADR", p.place},
                      {"TELEFON", customer.phone},
                      {"KONTONR", 3000.0},
                      {"TIMEPRIS", p.hourlyRate},
                      {"CALTIMEPRI", p.hourlyRate},
                      {"ANSVARLIG", p.responsible},
                      {"INITIALER", p.initials},
                      {"DATOSTART", sum.first},
                      {"DATOSLUTT", sum.last},
                      {"SUMVARER", sum.items},
                      {"CALVARER", est.items},
                      {"SUMTIMER", sum.hours},
                      {"SUMARBEID", work},
                      {"CALTIMER", est.hours},
                      {"CALARBEID", p.hourlyRate * est.hours},
                      {"SUMFAKTURA", sum.invoicesIn},
                      {"UTFAKTURER", sum.invoicedOut},
                      {"INNBETALT", 0.0},
                      {"CALFAKTURA", 0.0},
                      {"CALFORTJEN", est.invoicing},
                      {"SUMDIVERSE", sum.sundries},
                      {"KOSTPRIS", cost},
                      {"REST", 0.0},
                      {"FORTJENEST", sum.invoicedOut - cost},
                      {"TYPE", Whole(0)},
                      {"TYPE2", Whole(0)}});
  }
  return t;
}

}  // namespace

std::vector<DemoTable> DemoFirm() {
  std::vector<DemoTable> firm = {Staff(),     Companies(), Contacts(), Accounts(),
                                 Items(),     ItemDetails(), Projects(), Parts(),
                                 Hours(),     ItemUses(),  Trips(),    Travels(),
                                 Expenses(),  EquipmentRegister(), Jobs(), Cables(),
                                 Documents(), PostingRows()};
  AddTradeDocuments(firm);
  return firm;
}
