#include "tools/material_files.hpp"

#include <H5Cpp.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "qorva_mat/error.hpp"
#include "qorva_mat/load_hdf5.hpp"
#include "qorva_mat/load_matbook.hpp"
#include "qorva_mat/write_hdf5.hpp"
#include "qorva_mat/write_matbook.hpp"
#include "tools/text.hpp"

namespace fs = std::filesystem;
using qorva_mat::UnitSystem;

namespace qorva_cli {
namespace {

constexpr unsigned int kHdf5Failure = 0xFFFFFFFFu;
const char* const kSystemAttribute = "unit_system";

// Sends standard error to a scratch file while alive, so that the HDF5 error stack the store
// functions print does not reach the user; captured() returns what was written.
class StderrCapture {
 public:
  StderrCapture() {
    std::fflush(stderr);
    file_ = std::tmpfile();
    saved_ = ::dup(2);
    if (file_ && saved_ >= 0) ::dup2(::fileno(file_), 2);
  }
  ~StderrCapture() {
    restore();
    if (file_) std::fclose(file_);
  }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  std::string captured() {
    restore();
    if (!file_) return {};
    std::string text;
    std::rewind(file_);
    char buffer[512];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, file_)) text.append(buffer, n);
    return text;
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    saved_ = -1;
  }
  std::FILE* file_ = nullptr;
  int saved_ = -1;
};

// A scratch file name next to nothing the user owns, removed when the object goes.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& extension) {
    std::random_device rd;
    path_ = fs::temp_directory_path() /
            ("qorva-mat-" + std::to_string(::getpid()) + "-" + std::to_string(rd()) + extension);
  }
  ~ScratchFile() {
    std::error_code ignored;
    fs::remove(path_, ignored);
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  std::string path() const { return path_.string(); }

 private:
  fs::path path_;
};

// The unit_system attribute of the store's Materials group, or "" when it is not there.
std::string recorded_system(const std::string& path) {
  H5::Exception::dontPrint();
  try {
    H5::H5File file(path, H5F_ACC_RDONLY);
    if (!file.nameExists("Materials")) return {};
    H5::Group group = file.openGroup("Materials");
    if (!group.attrExists(kSystemAttribute)) return {};
    H5::Attribute attribute = group.openAttribute(kSystemAttribute);
    std::string value;
    attribute.read(attribute.getStrType(), value);
    return value;
  } catch (const H5::Exception&) {
    return {};
  }
}

void record_system(const std::string& path, const UnitSystem& system) {
  H5::Exception::dontPrint();
  try {
    H5::H5File file(path, H5F_ACC_RDWR);
    H5::Group group = file.openGroup("Materials");
    const std::string name = system.zepl_type_str();
    H5::StrType type(H5::PredType::C_S1, name.size());
    if (group.attrExists(kSystemAttribute)) group.removeAttr(kSystemAttribute);
    group.createAttribute(kSystemAttribute, type, H5::DataSpace(H5S_SCALAR)).write(type, name);
  } catch (const H5::Exception& e) {
    throw CommandError("cannot record the unit system in " + path + ": " + e.getDetailMsg());
  }
}

// The system all stored field units agree on, or null.
std::shared_ptr<UnitSystem> field_unit_system(
    const std::vector<std::shared_ptr<qorva_mat::Material>>& materials) {
  std::shared_ptr<UnitSystem> found;
  for (const auto& material : materials) {
    for (std::size_t j = 0; j < material->property_vec_size(); ++j) {
      if (!material->is_property_set_active(j)) continue;
      for (const auto& unit : material->at(j).field_units()) {
        if (!unit.system() || unit.system()->type() == UnitSystem::UNDEFINED) return nullptr;
        if (found && found->type() != unit.system()->type()) return nullptr;
        if (!found) found = qorva_mat::make_unit_system(unit.system()->type());
      }
    }
  }
  return found;
}

// Exit statuses of the probing child that mean it finished: the store was read, or the loader
// reported a failure the ordinary way. Anything else (a signal, a sanitizer's exit) is damage.
constexpr int kProbeRead = 0;
constexpr int kProbeFailed = 3;

// Child side of probe_store: reads the store with standard error silenced and ends without
// running exit handlers (HDF5's own would close what a damaged file left half open).
[[noreturn]] void probe_in_child(const std::string& path, const std::vector<std::string>* names) {
  const int null = ::open("/dev/null", O_WRONLY);
  if (null >= 0) ::dup2(null, 2);
  int code = kProbeFailed;
  try {
    std::vector<std::shared_ptr<qorva_mat::Material>> materials;
    const unsigned int status = names ? qorva_mat::load_materials_hdf5(path, materials, *names)
                                      : qorva_mat::load_materials_hdf5(path, materials);
    if (status == 0) code = kProbeRead;
  } catch (...) {
  }
  ::_exit(code);
}

// Reads the store (or the named materials of it) once in a child process before this process touches it: a damaged file can
// crash the HDF5 library or send it into an endless loop, which must not take the program down.
// Throws CommandError "... is damaged ..." when the child dies (from a signal, or a sanitizer
// ends it) or runs longer than 20 s plus 2 s per MB of file. Otherwise (including when no child can be started) returns and
// leaves the real read, with its own error reporting, to the caller.
void probe_store(const std::string& path, const std::vector<std::string>* names) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  const auto allowed = std::chrono::seconds(20 + 2 * (ec ? 0 : size >> 20));
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return;
  if (child == 0) probe_in_child(path, names);
  const auto deadline = std::chrono::steady_clock::now() + allowed;
  int status = 0;
  pid_t done = 0;
  while ((done = ::waitpid(child, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    ::usleep(2000);
  }
  if (done == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    throw CommandError("the HDF5 material store " + path +
                       " is damaged: reading it did not finish within " +
                       std::to_string(allowed.count()) + " s");
  }
  if (done != child) return;
  if (WIFEXITED(status) &&
      (WEXITSTATUS(status) == kProbeRead || WEXITSTATUS(status) == kProbeFailed))
    return;
  const std::string how = WIFSIGNALED(status)
                              ? std::string(::strsignal(WTERMSIG(status)))
                              : "exit status " + std::to_string(WEXITSTATUS(status));
  throw CommandError("the HDF5 material store " + path +
                     " is damaged: reading it crashed the HDF5 library (" + how + ")");
}

// Reads the store, all of it or (`names` not null) the named materials only. The system of a
// store that does not record it is told from the field units of all materials, so a selective
// read of such a store (without --from-units) returns null and the caller reads all of it.
std::unique_ptr<MaterialFile> load_store(const std::string& path, const UnitOptions& options,
                                         const std::vector<std::string>* names) {
  if (names && options.from_units.empty() && recorded_system(path).empty()) return nullptr;
  probe_store(path, names);
  auto result = std::make_unique<MaterialFile>();
  MaterialFile& file = *result;
  file.format = FileFormat::hdf5;
  unsigned int status = 0;
  {
    StderrCapture capture;
    status = names ? qorva_mat::load_materials_hdf5(path, file.materials, *names)
                   : qorva_mat::load_materials_hdf5(path, file.materials);
    capture.captured();
  }
  if (status == kHdf5Failure) {
    throw CommandError("cannot read the HDF5 material store " + path +
                       " (not a material store, or damaged)");
  }
  const std::string recorded = recorded_system(path);
  if (!recorded.empty()) {
    file.system = unit_system_by_name(recorded);
  } else if (!options.from_units.empty()) {
    file.system = unit_system_by_name(options.from_units);
  } else {
    file.system = field_unit_system(file.materials);
  }
  return result;
}

// Re-expresses the values of `file` in `target` by writing them as Matbook in their own system
// and reading them back into the target (the loader's unit corrections are on by default).
void convert_through_matbook(MaterialFile& file, std::shared_ptr<UnitSystem> target) {
  ScratchFile scratch(".xml");
  qorva_mat::write_materials(scratch.path(), file.materials, file.system);
  std::vector<std::shared_ptr<qorva_mat::Material>> converted;
  qorva_mat::load_materials(scratch.path(), converted, target);
  file.materials = std::move(converted);
  file.system = std::move(target);
}

}  // namespace

std::shared_ptr<UnitSystem> unit_system_by_name(const std::string& name) {
  const std::string key = lower(name);
  if (key.empty() || key == "undefined") {
    throw UsageError("unit system '" + name + "' is not one of SI, MKS, uMKS, CGS, MPA, BFT, BIN");
  }
  try {
    return qorva_mat::make_unit_system(name);
  } catch (const qorva_mat::runtime_error&) {
    throw UsageError("unit system '" + name + "' is not one of SI, MKS, uMKS, CGS, MPA, BFT, BIN");
  }
}

FileFormat detect_format(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) throw CommandError("no such file: " + path);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw CommandError("cannot open " + path);
  static const std::array<char, 8> signature = {'\x89', 'H', 'D', 'F', '\r', '\n', '\x1a', '\n'};
  // The HDF5 signature stands at 0, 512, 1024, 2048, ... (a user block may precede it).
  for (std::streamoff offset = 0; offset <= (1 << 20); offset = offset ? offset * 2 : 512) {
    std::array<char, 8> head{};
    in.clear();
    in.seekg(offset);
    if (!in.read(head.data(), head.size())) break;
    if (head == signature) return FileFormat::hdf5;
  }
  in.clear();
  in.seekg(0);
  std::string start(256, '\0');
  in.read(&start[0], static_cast<std::streamsize>(start.size()));
  start.resize(static_cast<std::size_t>(in.gcount()));
  if (start.compare(0, 3, "\xEF\xBB\xBF") == 0) start.erase(0, 3);
  const auto first = start.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && start[first] == '<') return FileFormat::matbook_xml;
  throw CommandError(path + " is neither a Matbook XML file nor an HDF5 material store");
}

FileFormat format_from_extension(const std::string& path) {
  const std::string extension = lower(fs::path(path).extension().string());
  if (extension == ".xml") return FileFormat::matbook_xml;
  if (extension == ".h5" || extension == ".hdf5") return FileFormat::hdf5;
  throw UsageError("cannot tell the output format of '" + path +
                   "': use the extension .xml, .h5 or .hdf5");
}

namespace {

// The file's materials (all, or with `names` the named ones) in the --units system; null when a
// selective read cannot give what a full read would (see load_store).
std::unique_ptr<MaterialFile> load_materials_of(const std::string& path, const UnitOptions& options,
                                                const std::vector<std::string>* names) {
  const FileFormat format = detect_format(path);
  auto target = unit_system_by_name(options.units.empty() ? default_units() : options.units);
  if (format == FileFormat::matbook_xml) {
    auto file = std::make_unique<MaterialFile>();
    file->system = target;
    if (names) {
      qorva_mat::load_materials(path, file->materials, file->system,
                                qorva_mat::MatbookLoadOptions(), *names);
    } else {
      qorva_mat::load_materials(path, file->materials, file->system);
    }
    return file;
  }
  std::unique_ptr<MaterialFile> file = load_store(path, options, names);
  if (!file || (file->system && file->system->type() == target->type())) return file;
  if (!file->system) {
    // Without --units such a store is shown as it is; converting it needs its system.
    if (options.units.empty()) return file;
    throw CommandError("the unit system of the values in " + path +
                       " is not recorded; name it with --from-units SYSTEM");
  }
  convert_through_matbook(*file, target);
  return file;
}

}  // namespace

MaterialFile load_material_file(const std::string& path, const UnitOptions& options) {
  return std::move(*load_materials_of(path, options, nullptr));
}

MaterialFile load_material_file(const std::string& path, const UnitOptions& options,
                                const std::string& material) {
  const std::vector<std::string> names{material};
  try {
    if (auto file = load_materials_of(path, options, &names)) return std::move(*file);
  } catch (const qorva_mat::runtime_error&) {
    // No material of exactly that name (or it cannot be read): the full read below finds a
    // material whose name differs only in case, or reports what the file holds.
  }
  return load_material_file(path, options);
}

void save_material_file(const std::string& path, MaterialFile& file) {
  const FileFormat format = format_from_extension(path);
  if (!file.system) {
    throw CommandError(
        "the unit system of the values is not known; name it with --from-units SYSTEM");
  }
  if (format == FileFormat::matbook_xml) {
    qorva_mat::write_materials(path, file.materials, file.system);
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) throw CommandError("cannot write " + path);
    return;
  }
  unsigned int status = 0;
  {
    StderrCapture capture;
    status = qorva_mat::write_materials_hdf5(path, file.materials);
  }
  if (status == kHdf5Failure) throw CommandError("cannot write the HDF5 material store " + path);
  record_system(path, *file.system);
}

}  // namespace qorva_cli
