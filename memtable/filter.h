// Record tests of a table: the filter text's expression tree and its evaluation, and the
// order in which a record is accepted or rejected.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>

#include "platform/dataset/expr_parser.h"
#include "memtable/record_store.h"

namespace memtable {

class TmvxCustomMemTable;

struct CompiledNode;
struct CompiledNodeDeleter {
  void operator()(CompiledNode* node) const;
};

struct ParsedFilter {
  std::unique_ptr<dataset::ExprParser> Parser;
  std::unordered_map<const dataset::ExprNode*, dataset::Field*> Fields;  // field nodes resolved once
  // The same filter compiled for typed evaluation on the record's bytes, when every
  // node of it can be (see filter_compiled.cpp); nullptr otherwise.
  std::unique_ptr<CompiledNode, CompiledNodeDeleter> Compiled;
};

// Compiles the filter for the table's present record layout, when it can.
void CompileFilter(TmvxCustomMemTable& table, ParsedFilter& filter);
bool EvaluateCompiled(const CompiledNode& root, const TmvxRecord* record);

// The field type a filter sees for a field type.
dataset::FieldType FilterFieldType(dataset::FieldType type);

void BuildFilter(TmvxCustomMemTable& table, std::unique_ptr<ParsedFilter>& filterData, const std::string& text,
                 dataset::FilterOptions filterOptions);
void FreeFilter(std::unique_ptr<ParsedFilter>& filterData);
dataset::Variant EvaluateFilter(TmvxCustomMemTable& table, const ParsedFilter& filterData);
// Evaluates one node for the table's record being filtered.
dataset::Variant EvaluateNode(TmvxCustomMemTable& table, const ParsedFilter& filterData, const dataset::ExprNode& node);
bool FilterRecordWith(TmvxCustomMemTable& table, PmvxRecord record, const ParsedFilter& filterData);
bool IsFiltered(TmvxCustomMemTable& table);
bool AcceptRecord(TmvxCustomMemTable& table, PmvxRecord record, bool forceFilter);

}  // namespace memtable
