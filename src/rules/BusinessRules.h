// The one entry point that binds the business rules to a data module.
#pragma once

class TDataFiler;

// Binds every rule area's handlers to the handler names of the module's schema. Call it
// once, after building the module and before DataFilerCreate (the rules bound to AfterOpen
// and AfterScroll already run while the tables open).
void BindBusinessRules(TDataFiler& module);
