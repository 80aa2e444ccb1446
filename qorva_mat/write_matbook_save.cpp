// Matbook writer: turning the finished property tree into the file text and replacing the file safely.
#include <boost/property_tree/xml_parser.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <locale>
#include <regex>
#include <sstream>
#include <system_error>

#include "qorva_mat/log.hpp"
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

std::string describe(int error) { return std::error_code(error, std::generic_category()).message(); }

// A name next to `target` that no other writer uses at the same time.
std::string temporary_name(const std::string& target, unsigned attempt) {
  static std::atomic<unsigned long> serial{0};
  return target + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(serial++) + "." +
         std::to_string(attempt);
}

bool write_all(int fd, const std::string& text) {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

// Writes the text into a new file beside `target`; returns its name, or "" with errno set.
std::string write_temporary(const std::string& target, const std::string& text) {
  int fd = -1;
  std::string name;
  for (unsigned attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    name = temporary_name(target, attempt);
    fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return "";
  }
  if (fd < 0) return "";
  // A replaced file keeps its permissions.
  struct stat old_state;
  if (::stat(target.c_str(), &old_state) == 0) ::fchmod(fd, old_state.st_mode & 07777);
  int error = write_all(fd, text) && ::fsync(fd) == 0 ? 0 : errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    ::unlink(name.c_str());
    errno = error;
    return "";
  }
  return name;
}

// The file a path stands for: a symbolic link is followed so that the link itself stays.
std::string resolve_target(const std::string& path) {
  std::error_code error;
  const std::filesystem::path p(path);
  if (!std::filesystem::is_symlink(p, error)) return path;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(p, error);
  return error ? path : resolved.string();
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
  text = std::regex_replace(text, empty_field_units, R"(<Qualifier name="Field Units"></Qualifier>)");
  return decode_safe_entities(text);
}

bool save_matbook_file(const boost::property_tree::ptree& tree, const std::string& path) {
  const std::string text = matbook_document_text(tree);
  if (path.empty()) {
    QORVA_LOG(warning) << "write_matbook: cannot write a file with an empty path.";
    return false;
  }
  const std::string target = resolve_target(path);
  const std::string temporary = write_temporary(target, text);
  if (temporary.empty()) {
    const int error = errno;
    QORVA_LOG(warning) << "write_matbook: cannot write " << path << ": " << describe(error);
    return false;
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    QORVA_LOG(warning) << "write_matbook: cannot replace " << path << ": " << describe(error);
    return false;
  }
  return true;
}

}  // namespace detail
}  // namespace qorva_mat
