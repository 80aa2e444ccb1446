// Matbook writer: turning the finished property tree into the file text and replacing the file safely.
#include <boost/property_tree/xml_parser.hpp>

#include <locale>
#include <regex>
#include <sstream>

#include "qorva_mat/detail/replace_file.hpp"
#include "qorva_mat/write_matbook.hpp"

namespace qorva_mat {
namespace detail {

namespace {

// The XML writer encodes every '<', '>', '&', '"' and '\'' of a text or attribute value as an
// entity, and a text made only of blanks as "&#32;" plus the remaining blanks. Files of this
// format carry those characters bare wherever XML allows it, so the entities are decoded, but
// only where the bare character keeps the document well-formed: "&apos;" everywhere, "&gt;"
// everywhere except after "]]" (a bare "]]>" is not allowed in text), and "&quot;" in element
// text but not inside the double-quoted attribute values. "&amp;", "&lt;" and "&#32;" stay, or
// a text such as "carbon & epoxy" would turn the file into something no XML reader accepts.
std::string decode_safe_entities(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  bool in_tag = false;
  bool in_attribute = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '&') {
      if (text.compare(i, 6, "&apos;") == 0) {
        out += '\'';
        i += 5;
        continue;
      }
      const bool after_brackets = out.size() >= 2 && out.compare(out.size() - 2, 2, "]]") == 0;
      if (text.compare(i, 4, "&gt;") == 0 && !after_brackets) {
        out += '>';
        i += 3;
        continue;
      }
      if (text.compare(i, 6, "&quot;") == 0 && !in_attribute) {
        out += '"';
        i += 5;
        continue;
      }
    } else if (c == '<' && !in_tag) {
      in_tag = true;
    } else if (c == '"' && in_tag) {
      in_attribute = !in_attribute;
    } else if (c == '>' && in_tag && !in_attribute) {
      in_tag = false;
    }
    out += c;
  }
  return out;
}

}  // namespace

std::string matbook_document_text(const boost::property_tree::ptree& tree) {
  std::ostringstream stream;
  stream.imbue(std::locale::classic());
  boost::property_tree::write_xml(
      stream, tree, boost::property_tree::xml_writer_make_settings<std::string>(' ', 2, "utf-8"));
  std::string text = stream.str();
  const std::size_t line_end = text.find('\n');
  if (line_end != std::string::npos) text.erase(0, line_end + 1);
  static const std::regex empty_field_units(R"(<Qualifier name="Field Units"/>)");
  text =
      std::regex_replace(text, empty_field_units, R"(<Qualifier name="Field Units"></Qualifier>)");
  return decode_safe_entities(text);
}

void save_matbook_file(const boost::property_tree::ptree& tree, const std::string& path) {
  replace_file(path, matbook_document_text(tree), "write_matbook");
}

}  // namespace detail
}  // namespace qorva_mat
