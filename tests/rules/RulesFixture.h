// The suite's data module with its business rules bound, as the program builds it.
#pragma once

#include "rules/BusinessRules.h"
#include "support/SuiteFixture.h"

class RulesFixture : public SuiteFixture {
 protected:
  using SuiteFixture::SuiteFixture;
  void BindRules(TDataFiler& module) override { BindBusinessRules(module); }
};
