#include "rules/LineArithmetic.h"

#include "store/Table.h"

namespace rules {

void RecalculateLine(ff::TffTable& line, DiscountOff discount) {
  if (line.Tag() != 0) return;
  const auto value = [&line](const char* name) { return line.FieldByName(name).AsFloat(); };
  const auto discounted = [&value](double total) { return total - total * value("Rabatt") / 100; };
  const double cost = value("Kostpris") * value("Antall");
  line.FieldByName("TotalKostpris").SetAsFloat(discount == DiscountOff::CostTotal ? discounted(cost) : cost);
  const double selling = value("Pris") * value("Antall");
  line.FieldByName("Totalpris").SetAsFloat(discount == DiscountOff::SellingTotal ? discounted(selling) : selling);
  line.FieldByName("Fortjeneste").SetAsFloat(value("Totalpris") - value("TotalKostpris"));
}

}  // namespace rules
