#include "rules/BusinessRules.h"

#include "db/datamodule/datafile.h"

void BindBusinessRules(TDataFiler& module) {
  module.BindTimeTravelRules();
  module.BindRollupRules();
  module.BindJobRules();
  module.BindItemRules();
  module.BindTradeDocumentRules();
  module.BindMasterDataRules();
}
