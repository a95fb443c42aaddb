// A count of lines a reader met but could not read, with the first of them:
// what a message of the form "N lines could not be read (first: line K)"
// needs.
#pragma once

namespace mendra {

struct LineTally {
  int count = 0;
  int first_line = 0;  // from 1; 0 while there are none

  void add(int line_number) {
    if (count == 0) first_line = line_number;
    ++count;
  }
  bool empty() const { return count == 0; }
};

}  // namespace mendra
