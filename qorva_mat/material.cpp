#include "qorva_mat/material.hpp"

#include <array>
#include <ostream>
#include <stdexcept>

#include "qorva_mat/error.hpp"
#include "qorva_mat/log.hpp"

namespace qorva_mat {

std::string Material::PropertyType::enum_str(type t) {
  static const std::array<const char*, count> texts{
      "Density",
      "Engineering Constants",
      "Stress Limits",
      "Strain Limits",
      "Puck Constants",
      "Thermal Expansion Coefficients",
      "Woven Characterization",
      "Woven Puck Constants 1",
      "Woven Puck Constants 2",
      "Woven Stress Limits 1",
      "Woven Stress Limits 2",
      "Tsai Wu Constants",
      "Larc Constants",
      "Tensile Yield Strength",
      "Thermal Conductivity",
      "Specific Heat",
      "Fabric Fiber Angle",
      "Isotropic Hardening",
      "Hill Yield Criterion",
      "Orientation Sensitivity Parameter",
  };
  const long value = static_cast<long>(t);
  if (value < 0 || value >= static_cast<long>(count)) {
    QORVA_ASSERT(false, "Unknown type:" + std::to_string(value));
  }
  return texts[static_cast<std::size_t>(value)];
}

Material::Material() { base_settings_ctor(); }

Material::Material(const Material& other)
    : index_(other.index_), name_(other.name_), string_properties_(other.string_properties_) {
  property_vec_.reserve(other.property_vec_.size());
  for (const auto& set : other.property_vec_) {
    property_vec_.push_back(set ? std::make_shared<PropertySet>(*set) : nullptr);
  }
}

Material& Material::operator=(const Material& other) {
  if (this != &other) {
    Material copy(other);
    property_vec_.swap(copy.property_vec_);
    index_.swap(copy.index_);
    name_.swap(copy.name_);
    string_properties_.swap(copy.string_properties_);
  }
  return *this;
}

Material::~Material() = default;

void Material::base_settings_ctor() {
  property_vec_.resize(PropertyType::count);
  for (auto it = index_.begin(); it != index_.end();) {
    it = it->second >= PropertyType::count ? index_.erase(it) : std::next(it);
  }
  for (std::size_t t = 0; t < PropertyType::count; ++t) {
    index_[PropertyType::enum_str(static_cast<PropertyType::type>(t))] = t;
  }
}

void Material::name(const std::string& name) { name_ = name; }

std::string Material::name() const { return name_; }

void Material::add_property_set(std::shared_ptr<PropertySet> set) {
  QORVA_ASSERT(set != nullptr, "material: cannot add an empty property set to " + name_ + ".");
  const std::string set_name = set->name();
  std::size_t slot = 0;
  const auto it = index_.find(set_name);
  if (it == index_.end()) {
    slot = property_vec_.size();
    property_vec_.push_back(std::move(set));
    index_.emplace(set_name, slot);
  } else {
    slot = it->second;
    property_vec_[slot] = std::move(set);
  }
  QORVA_LOG(debug) << set_name << " added in material " << name_ << " with index " << slot;
}

void Material::delete_property_set(std::string name) {
  const auto it = index_.find(name);
  if (it == index_.end()) QORVA_THROW(name + " is not available for material " + name_ + ".");
  property_vec_[it->second].reset();
  QORVA_LOG(debug) << name << " deleted in material " << name_;
}

PropertySet& Material::slot_or_throw(std::size_t index) const {
  if (index >= property_vec_.size() || !property_vec_[index]) {
    QORVA_THROW("Property " + std::to_string(index) + " is not available for material " + name_ +
                ".");
  }
  return *property_vec_[index];
}

PropertySet& Material::named_or_throw(const std::string& name) const {
  const auto it = index_.find(name);
  if (it == index_.end() || !property_vec_[it->second]) {
    QORVA_THROW(name + " is not available for material " + name_ + ".");
  }
  return *property_vec_[it->second];
}

PropertySet& Material::at(const std::string& name) { return named_or_throw(name); }
const PropertySet& Material::at(const std::string& name) const { return named_or_throw(name); }
PropertySet& Material::at(PropertyType::type type) {
  return slot_or_throw(static_cast<std::size_t>(type));
}
const PropertySet& Material::at(PropertyType::type type) const {
  return slot_or_throw(static_cast<std::size_t>(type));
}
PropertySet& Material::at(std::size_t index) { return slot_or_throw(index); }
const PropertySet& Material::at(std::size_t index) const { return slot_or_throw(index); }

PropertySet& Material::operator[](const std::string& name) { return at(name); }
const PropertySet& Material::operator[](const std::string& name) const { return at(name); }
PropertySet& Material::operator[](PropertyType::type type) { return at(type); }
const PropertySet& Material::operator[](PropertyType::type type) const { return at(type); }
PropertySet& Material::operator[](std::size_t index) { return at(index); }
const PropertySet& Material::operator[](std::size_t index) const { return at(index); }

// The public signatures of get_index and is_property_set_active take copies.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
std::size_t Material::get_index(std::string name) const {
  const auto it = index_.find(name);
  if (it == index_.end()) throw std::out_of_range("invalid map<K, T> key");
  return it->second;
}

std::size_t Material::property_vec_size() const { return property_vec_.size(); }

// NOLINTNEXTLINE(performance-unnecessary-value-param)
bool Material::is_property_set_active(std::string name) const {
  const auto it = index_.find(name);
  return it != index_.end() && property_vec_[it->second] != nullptr;
}

bool Material::is_property_set_active(PropertyType::type type) const {
  return is_property_set_active(static_cast<std::size_t>(type));
}

bool Material::is_property_set_active(std::size_t index) const {
  if (index >= property_vec_.size()) throw std::out_of_range("invalid vector<T> subscript");
  return property_vec_[index] != nullptr;
}

void Material::set_string_property(const std::string& key, const std::string& value) {
  string_properties_.set(key, value);
}

std::string Material::get_string_property(const std::string& key) const {
  return string_properties_.get(key);
}

bool Material::has_string_property(const std::string& key) const {
  return string_properties_.has(key);
}

std::vector<std::string> Material::get_string_property_keys() const {
  return string_properties_.keys();
}

void Material::update() {
  for (const auto& set : property_vec_) {
    if (set) set->update();
  }
}

std::string Material::property_vec_to_string() const {
  std::string text;
  for (const auto& set : property_vec_) {
    if (set) text += set->to_string() + "\n";
  }
  return text;
}

std::ostream& operator<<(std::ostream& os, const Material& material) {
  return os << "Material(name=" << material.name() << material.property_vec_to_string() << ")";
}

}  // namespace qorva_mat
