#pragma once

#include <string>
#include <string_view>

// The order in which a line laid out left to right shows its characters: the Unicode
// bidirectional algorithm for a left-to-right paragraph without explicit embeddings
// (a record writes those out as text), its weak and neutral rules and the reversal of
// right-to-left runs. A reader takes a page's text in the order it stands, so a name in
// Arabic or Hebrew on a page reads in this order, not in the order it is written.
std::string VisualOrder(std::string_view utf8);
