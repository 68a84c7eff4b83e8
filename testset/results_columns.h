#pragma once
// The results table's columns, in order: the one definition the evaluator writes and the grid
// checks merged tables against. The first column, the model's mesh name, has an empty header.

#include <string>
#include <vector>

namespace Ostrel {
namespace TestSet {

const std::vector<std::string>& resultsTableColumns();

// The header line: the column names, each but the first after a ';', and a line end.
std::string resultsTableHeader();

}  // namespace TestSet
}  // namespace Ostrel
