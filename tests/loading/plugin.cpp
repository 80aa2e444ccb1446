// A material plugin as a solver would load it: a C interface over qorva_mat that opens a Matbook
// file and answers queries. Which program loads it, and how, is the host's business.
#include <cstddef>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "qorva_mat/load_matbook.hpp"
#include "qorva_mat/material.hpp"
#include "qorva_mat/units.hpp"
#include "qorva_mat/version.hpp"

namespace {

struct MaterialFile {
  std::vector<std::shared_ptr<qorva_mat::Material>> materials;
};

// Copies the text into the caller's buffer, cut to fit and always terminated.
void put_message(const std::string& text, char* message, std::size_t size) {
  if (message == nullptr || size == 0) return;
  const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(message, text.data(), n);
  message[n] = '\0';
}

const qorva_mat::Material& find_material(const MaterialFile& file, const std::string& name) {
  for (const auto& material : file.materials) {
    if (material->name() == name) return *material;
  }
  throw std::runtime_error("no material '" + name + "'");
}

}  // namespace

extern "C" {

// The qorva_mat version the plugin runs against; never fails.
const char* qorva_plugin_library_version() { return qorva_mat::version(); }

// Loads a Matbook file into the named unit system and updates every material. Returns null
// and the library's error text in `message` on failure. Free the file with qorva_plugin_close.
void* qorva_plugin_open(const char* path, const char* unit_system, char* message,
                        std::size_t size) {
  try {
    auto file = std::make_unique<MaterialFile>();
    qorva_mat::load_materials(path, file->materials, qorva_mat::make_unit_system(unit_system));
    for (auto& material : file->materials) material->update();
    return file.release();
  } catch (const std::exception& error) {
    put_message(error.what(), message, size);
    return nullptr;
  }
}

// One dependent value of a property at one value of one independent variable. Returns 0 and
// the value in `result`, or 1 and the error text in `message`. Safe from several threads.
int qorva_plugin_query(const void* handle, const char* material, const char* property,
                       const char* variable, double value, const char* dependent, double* result,
                       char* message, std::size_t size) {
  try {
    const auto& file = *static_cast<const MaterialFile*>(handle);
    const auto& set = find_material(file, material).at(std::string(property));
    *result = set.query({{variable}, {value}}, dependent);
    return 0;
  } catch (const std::exception& error) {
    put_message(error.what(), message, size);
    return 1;
  }
}

void qorva_plugin_close(void* handle) { delete static_cast<MaterialFile*>(handle); }

}  // extern "C"
