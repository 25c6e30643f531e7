// Answers the account of what the file loses for many texts in one process, for
// account_check.py's independent model to compare: each line read is the decimal separator and
// the five texts, tab-separated; each line written is the account's sentences, tab-separated.
#include <iostream>
#include <sstream>
#include <string>

#include "grid/plan.h"

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream fields(line);
    std::string separator;
    grid::FieldTexts texts;
    for (std::string* field :
         {&separator, &texts.min_x, &texts.max_x, &texts.min_y, &texts.max_y, &texts.spacing}) {
      std::getline(fields, *field, '\t');
    }
    std::string answer;
    for (const std::string& item : grid::PlanGrid(texts, separator.front()).Losses()) {
      answer += (answer.empty() ? "" : "\t") + item;
    }
    std::cout << answer << '\n';
  }
  return std::cout.flush() ? 0 : 1;
}
