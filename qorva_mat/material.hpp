// Material: a named collection of property sets in 20 reserved type slots plus named extras, and
// string properties. The property sets themselves, and reading or writing materials from files,
// belong to other units.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qorva_mat/property_set.hpp"

namespace qorva_mat {

class Material {
 public:
  // The predefined property types; a type's value is its slot and its text the set's name.
  struct PropertyType {
    enum type : int {
      density = 0,
      engineering_constants = 1,
      stress_limits = 2,
      strain_limits = 3,
      puck_constants = 4,
      thermal_expansion_coefficients = 5,
      woven_characterization = 6,
      woven_puck_constants_1 = 7,
      woven_puck_constants_2 = 8,
      woven_stress_limits_1 = 9,
      woven_stress_limits_2 = 10,
      tsai_wu_constants = 11,
      larc_constants = 12,
      tensile_yield_strength = 13,
      thermal_conductivity = 14,
      specific_heat = 15,
      fabric_fiber_angle = 16,
      isotropic_hardening = 17,
      hill_yield_criterion = 18,
      orientation_sensitivity_parameter = 19,
    };
    static constexpr std::size_t count = 20;
    // Text of a type ("Density", ...). Throws assertion_error on condition "false" with message
    // "Unknown type:<value>" for a value outside 0..19.
    static std::string enum_str(type t);
  };

  // 20 empty slots with the type names indexed; empty name and string properties. Throws only
  // std::bad_alloc, as do the copies, the name and string-property setters and property_vec_size.
  Material();
  // Deep copies: every held property set is copy-constructed, empty slots stay empty.
  Material(const Material& other);
  Material& operator=(const Material& other);
  ~Material();

  // Resizes the slots to exactly 20 and (re)indexes the 20 type names. Names of extra slots that
  // are dropped this way are removed from the index too, so every entry points to a slot.
  void base_settings_ctor();

  void name(const std::string& name);
  std::string name() const;

  // Stores `set` in the slot indexed for its name, or appends a new slot for a new name.
  // The material shares the pointer with the caller. Throws assertion_error for a null pointer.
  void add_property_set(std::shared_ptr<PropertySet> set);
  // Empties the slot of `name`; the slot and its index entry stay. Throws runtime_error
  // "<name> is not available for material <material>." for an unindexed name.
  void delete_property_set(std::string name);

  // Access by name, type or slot index. Throws runtime_error "<name> is not available for
  // material <material>." (by name) or "Property <n> is not available for material
  // <material>." (by type or index) when the name is unknown or the slot is empty or missing.
  PropertySet& at(const std::string& name);
  const PropertySet& at(const std::string& name) const;
  PropertySet& at(PropertyType::type type);
  const PropertySet& at(PropertyType::type type) const;
  PropertySet& at(std::size_t index);
  const PropertySet& at(std::size_t index) const;
  PropertySet& operator[](const std::string& name);
  const PropertySet& operator[](const std::string& name) const;
  PropertySet& operator[](PropertyType::type type);
  const PropertySet& operator[](PropertyType::type type) const;
  PropertySet& operator[](std::size_t index);
  const PropertySet& operator[](std::size_t index) const;

  // Slot of a name; throws std::out_of_range "invalid map<K, T> key" for an unknown name.
  std::size_t get_index(std::string name) const;
  // Number of slots, empty ones included.
  std::size_t property_vec_size() const;
  // Whether the slot holds a set. The name form returns false for unknown names; the type and
  // index forms throw std::out_of_range "invalid vector<T> subscript" beyond the slots.
  bool is_property_set_active(std::string name) const;
  bool is_property_set_active(PropertyType::type type) const;
  bool is_property_set_active(std::size_t index) const;

  void set_string_property(const std::string& key, const std::string& value);
  // Throws std::out_of_range "invalid unordered_map<K, T> key" for a missing key.
  std::string get_string_property(const std::string& key) const;
  // Never fail (beyond std::bad_alloc); the keys come in the map's own order.
  bool has_string_property(const std::string& key) const;
  std::vector<std::string> get_string_property_keys() const;

  // Updates every held set in slot order. An engine error throws runtime_error "GIL-error:\n"...
  // from that set; the sets before it stay updated, the later ones are not touched.
  void update();
  // to_string() of every held set in slot order, each followed by "\n"; throws what
  // PropertySet::to_string throws.
  std::string property_vec_to_string() const;

 private:
  // The slots share their sets, so a const material still hands out the set itself here.
  PropertySet& slot_or_throw(std::size_t index) const;
  PropertySet& named_or_throw(const std::string& name) const;

  std::vector<std::shared_ptr<PropertySet>> property_vec_;
  std::map<std::string, std::size_t> index_;
  std::string name_;
  StringProperties string_properties_;
};

// Writes "Material(name=" + name + property_vec_to_string() + ")"; throws what
// property_vec_to_string throws.
std::ostream& operator<<(std::ostream& os, const Material& material);

}  // namespace qorva_mat
