// The arithmetic of a document line (offer, invoice, order, purchase and calculation lines).
#pragma once

namespace ff {
class TffTable;
}

namespace rules {

// Sales lines give the discount off the selling total, purchase and calculation lines off
// the cost total.
enum class DiscountOff { SellingTotal, CostTotal };

// Sets TotalKostpris, Totalpris and Fortjeneste of the line's current row from Kostpris, Pris,
// Antall and Rabatt. A line whose Tag is set (filled by a routine) is left as it is.
// Throws ff::Error when the line cannot take the totals.
void RecalculateLine(ff::TffTable& line, DiscountOff discount);

}  // namespace rules
