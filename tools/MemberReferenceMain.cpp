// quor-member-reference: prints the reference of every remote member, written
// from the method tables, for docs/remote-members.md.
#include <iostream>

#include "remote/methods/MemberReference.h"

int main() {
  std::cout << quor::remote::MemberReferenceText();
  return std::cout.good() ? 0 : 1;
}
