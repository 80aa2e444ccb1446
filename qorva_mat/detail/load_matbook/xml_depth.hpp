// A cheap scan of an XML file's element nesting, run before the recursive XML parser sees the file.
// Parsing itself, and what the elements mean, are left to the Boost XML reader and the Matbook loader.
#pragma once

#include <cstddef>
#include <string>

namespace qorva_mat {
namespace detail {

// Deepest element nesting a Matbook file may have. Real files nest about ten levels; the XML
// parser and the property tree recurse once per level, so a hostile file tens of thousands of
// levels deep would overflow the stack.
constexpr std::size_t kMaxXmlDepth = 256;

// Element nesting depth of `text` (comments, CDATA sections, processing instructions and
// declarations are skipped; quoted attribute values may hold '>' and '/'). Stops counting once
// `limit` is exceeded and returns limit + 1 then, with `line` (1-based) set to the line of the
// element that went too deep. Malformed markup is counted as far as it goes; the parser reports it.
std::size_t xml_nesting_depth(const std::string& text, std::size_t limit, std::size_t& line);

// Throws boost::property_tree::xml_parser_error "XML elements nested deeper than 256 levels"
// naming `path` and the line when the file at `path` nests deeper than kMaxXmlDepth. A file that
// cannot be read is left to the parser, which reports it; otherwise returns nothing.
void check_xml_file_depth(const std::string& path);
// The same for a document held in memory; `name` stands for the file in the error.
void check_xml_text_depth(const std::string& text, const std::string& name);

}  // namespace detail
}  // namespace qorva_mat
