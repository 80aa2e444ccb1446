// Exceptions as bytes and back, so that one rank's failure can be raised on every rank.
#include <H5Cpp.h>

#include <boost/lexical_cast.hpp>
#include <boost/property_tree/exceptions.hpp>
#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <boost/throw_exception.hpp>
#include <boost/tokenizer.hpp>
#include <cstddef>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "qorva_mat/detail/mpi_transport.hpp"
#include "qorva_mat/error.hpp"

namespace qorva_mat {
namespace detail {
namespace {

namespace pt = boost::property_tree;
using Fields = std::vector<std::string>;

// A record is the field count, then each field as "<length>:<bytes>"; field 0 names the type.
std::string record(const Fields& fields) {
  std::string out = std::to_string(fields.size()) + '\n';
  for (const std::string& field : fields) out += std::to_string(field.size()) + ':' + field;
  return out;
}

[[noreturn]] void malformed() {
  throw runtime_error("exception_codec: malformed exception record.");
}

std::size_t read_number(const std::string& text, std::size_t& at, char end) {
  const std::size_t stop = text.find(end, at);
  if (stop == std::string::npos || stop == at || stop - at > 19) malformed();
  std::size_t value = 0;
  for (std::size_t i = at; i < stop; ++i) {
    if (text[i] < '0' || text[i] > '9') malformed();
    value = value * 10 + static_cast<std::size_t>(text[i] - '0');
  }
  at = stop + 1;
  return value;
}

Fields parse(const std::string& text) {
  std::size_t at = 0;
  const std::size_t count = read_number(text, at, '\n');
  if (count == 0 || count > 8) malformed();
  Fields fields;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t length = read_number(text, at, ':');
    if (length > text.size() - at) malformed();
    fields.push_back(text.substr(at, length));
    at += length;
  }
  if (at != text.size()) malformed();
  return fields;
}

// The library's errors name their throw site through pointers to static texts; rebuilt errors
// point into this set, which only grows by the throw sites that have failed.
const char* interned(const std::string& text) {
  static std::mutex mutex;
  static std::set<std::string> texts;
  std::lock_guard<std::mutex> lock(mutex);
  return texts.insert(text).first->c_str();
}

int to_int(const std::string& text) {
  try {
    return boost::lexical_cast<int>(text);
  } catch (const boost::bad_lexical_cast&) {
    malformed();
  }
}

std::string bad_path_text(const pt::ptree_bad_path& e) {
  try {
    return e.path<pt::ptree::path_type>().dump();
  } catch (const boost::bad_any_cast&) {
    return std::string();
  }
}

// ptree_bad_path's text is "<message> (<path>)", and its constructor appends the path itself:
// returns the message and the path to pass it, from the text and the path when it was known.
std::pair<std::string, std::string> split_bad_path(const std::string& what,
                                                   const std::string& path) {
  const std::string suffix = " (" + path + ")";
  if (!path.empty() && what.size() >= suffix.size() &&
      what.compare(what.size() - suffix.size(), suffix.size(), suffix) == 0) {
    return {what.substr(0, what.size() - suffix.size()), path};
  }
  const std::size_t open = what.rfind(" (");
  if (open == std::string::npos || what.empty() || what.back() != ')') malformed();
  return {what.substr(0, open), what.substr(open + 2, what.size() - open - 3)};
}

std::string bad_data_text(const pt::ptree_bad_data& e) {
  try {
    return e.data<std::string>();
  } catch (const boost::bad_any_cast&) {
    return std::string();
  }
}

std::string encode_library_error(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const pt::xml_parser_error& e) {
    return record({"xml_parser_error", e.message(), e.filename(), std::to_string(e.line())});
  } catch (const pt::file_parser_error& e) {
    return record({"file_parser_error", e.message(), e.filename(), std::to_string(e.line())});
  } catch (const pt::ptree_bad_path& e) {
    return record({"ptree_bad_path", e.what(), bad_path_text(e)});
  } catch (const pt::ptree_bad_data& e) {
    return record({"ptree_bad_data", e.what(), bad_data_text(e)});
  } catch (const pt::ptree_error& e) {
    return record({"ptree_error", e.what()});
  } catch (const boost::escaped_list_error& e) {
    return record({"escaped_list_error", e.what()});
  } catch (const boost::bad_lexical_cast&) {
    return record({"bad_lexical_cast"});
  } catch (const assertion_error& e) {
    return record({"assertion_error", e.condition(), e.message(), e.function(), e.file(),
                   std::to_string(e.line())});
  } catch (const runtime_error& e) {
    return record({"runtime_error", e.what(), e.function(), e.file(), std::to_string(e.line())});
  } catch (const H5::Exception& e) {
    return record({"H5::Exception", e.getFuncName(), e.getDetailMsg()});
  } catch (...) {
    return std::string();
  }
}

std::string encode_standard_error(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::out_of_range& e) {
    return record({"std::out_of_range", e.what()});
  } catch (const std::invalid_argument& e) {
    return record({"std::invalid_argument", e.what()});
  } catch (const std::length_error& e) {
    return record({"std::length_error", e.what()});
  } catch (const std::domain_error& e) {
    return record({"std::domain_error", e.what()});
  } catch (const std::logic_error& e) {
    return record({"std::logic_error", e.what()});
  } catch (const std::range_error& e) {
    return record({"std::range_error", e.what()});
  } catch (const std::overflow_error& e) {
    return record({"std::overflow_error", e.what()});
  } catch (const std::underflow_error& e) {
    return record({"std::underflow_error", e.what()});
  } catch (const std::bad_alloc&) {
    return record({"std::bad_alloc"});
  } catch (const std::exception& e) {
    return record({"std::runtime_error", e.what()});
  } catch (...) {
    return record({"unknown"});
  }
}

[[noreturn]] void rethrow_standard(const Fields& f) {
  const std::string& type = f[0];
  const std::string what = f.size() > 1 ? f[1] : std::string();
  if (type == "std::bad_alloc" && f.size() == 1) throw std::bad_alloc();
  if (type == "unknown" && f.size() == 1)
    throw runtime_error(
        "exception_codec: a rank failed with an exception that is not a std::exception.");
  if (f.size() != 2) malformed();
  if (type == "std::out_of_range") throw std::out_of_range(what);
  if (type == "std::invalid_argument") throw std::invalid_argument(what);
  if (type == "std::length_error") throw std::length_error(what);
  if (type == "std::domain_error") throw std::domain_error(what);
  if (type == "std::logic_error") throw std::logic_error(what);
  if (type == "std::range_error") throw std::range_error(what);
  if (type == "std::overflow_error") throw std::overflow_error(what);
  if (type == "std::underflow_error") throw std::underflow_error(what);
  if (type == "std::runtime_error") throw std::runtime_error(what);
  malformed();
}

[[noreturn]] void rethrow_library(const Fields& f) {
  const std::string& type = f[0];
  const std::size_t n = f.size();
  if (type == "xml_parser_error" && n == 4)
    boost::throw_exception(
        pt::xml_parser_error(f[1], f[2], static_cast<unsigned long>(to_int(f[3]))));
  if (type == "file_parser_error" && n == 4)
    boost::throw_exception(
        pt::file_parser_error(f[1], f[2], static_cast<unsigned long>(to_int(f[3]))));
  if (type == "ptree_bad_path" && n == 3) {
    const auto parts = split_bad_path(f[1], f[2]);
    boost::throw_exception(pt::ptree_bad_path(parts.first, pt::ptree::path_type(parts.second)));
  }
  if (type == "ptree_bad_data" && n == 3) boost::throw_exception(pt::ptree_bad_data(f[1], f[2]));
  if (type == "ptree_error" && n == 2) boost::throw_exception(pt::ptree_error(f[1]));
  if (type == "escaped_list_error" && n == 2)
    boost::throw_exception(boost::escaped_list_error(f[1]));
  if (type == "bad_lexical_cast" && n == 1) boost::throw_exception(boost::bad_lexical_cast());
  if (type == "assertion_error" && n == 6)
    throw assertion_error(f[1], f[2], interned(f[3]), interned(f[4]), to_int(f[5]));
  if (type == "runtime_error" && n == 5)
    throw runtime_error(f[1], interned(f[2]), interned(f[3]), to_int(f[4]));
  if (type == "H5::Exception" && n == 3) throw H5::Exception(f[1], f[2]);
  rethrow_standard(f);
}

}  // namespace

std::string encode_exception(const std::exception_ptr& error) {
  std::string encoded = encode_library_error(error);
  return encoded.empty() ? encode_standard_error(error) : encoded;
}

void rethrow_encoded(const std::string& encoded) { rethrow_library(parse(encoded)); }

}  // namespace detail
}  // namespace qorva_mat
