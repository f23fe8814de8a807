// Reading the committed reference tables of tests/data: tab-separated rows,
// '#' comment lines, numbers in round-trip decimal. Shared by the tests and
// the benchmarks.
#pragma once

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace mirlaxon::test {

struct TableRow {
  std::vector<std::string> fields;
  double number(std::size_t i) const { return std::stod(fields.at(i)); }
};

// "1.0,0.5,2" → {1.0, 0.5, 2.0}: a list field of a table.
inline std::vector<double> split_numbers(const std::string& text) {
  std::vector<double> numbers;
  std::istringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) numbers.push_back(std::stod(item));
  return numbers;
}

inline std::vector<TableRow> read_table(const std::string& name) {
  std::ifstream in(std::string(MIRLAXON_TEST_DATA_DIR) + "/" + name);
  // Callers check the row count, so a missing table fails their test.
  if (!in.good()) std::fprintf(stderr, "cannot read %s\n", name.c_str());
  std::vector<TableRow> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    TableRow row;
    std::string field;
    while (std::getline(fields, field, '\t')) row.fields.push_back(field);
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace mirlaxon::test
