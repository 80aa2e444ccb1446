// The Matbook loader: file, version upgrade, metadata, transfer ids, material matching and the
// per-property loop.
#include "qorva_mat/load_matbook.hpp"

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "qorva_mat/detail/load_matbook/rules.hpp"
#include "qorva_mat/detail/load_matbook/xml_depth.hpp"
#include "qorva_mat/detail/matbook_names.hpp"
#include "qorva_mat/error.hpp"
#include "qorva_mat/log.hpp"

namespace qorva_mat {
namespace {

using boost::property_tree::ptree;
using qorva_mat::matbook_string_umap_t;
using qorva_mat::detail::kTransferIdKey;

matbook_string_umap_t read_transfer_ids(const ptree& document) {
  matbook_string_umap_t ids;
  if (document.get_child("MatbookData").get_child_optional("QORVAHELMTransferData")) {
    for (const auto& record : document.get_child("MatbookData.QORVAHELMTransferData.Materials")) {
      if (record.first != "Material") continue;
      ids[record.second.get<std::string>("Name")] =
          record.second.get<std::string>("DataTransferID");
    }
  }
  QORVA_LOG(debug) << "- Extracted " << ids.size() << " HELM material ID's";
  return ids;
}

void read_metadata(const ptree& doc, detail::MatbookLoadState& load) {
  for (const auto& metadata : doc) {
    if (metadata.first != "Metadata") continue;
    for (const auto& details : metadata.second) {
      if (details.first != "PropertyDetails" && details.first != "ParameterDetails") continue;
      const std::string id = details.second.get<std::string>("<xmlattr>.id", "");
      const std::string name = details.second.get<std::string>("Name");
      load.names[id] = name;
      load.units.declare(id, name, details.second);
    }
  }
}

// The first material of `materials` whose transfer id equals `tid` (when not empty) or whose
// name equals `name`; null when none does.
std::shared_ptr<Material> find_material(const std::vector<std::shared_ptr<Material>>& materials,
                                        const std::string& name, const std::string& tid) {
  for (const auto& material : materials) {
    if (!tid.empty() && material->has_string_property(kTransferIdKey) &&
        material->get_string_property(kTransferIdKey) == tid)
      return material;
    if (material->name() == name) return material;
  }
  return nullptr;
}

std::shared_ptr<Material> matched_or_new(std::vector<std::shared_ptr<Material>>& materials,
                                         const std::string& name, const std::string& tid) {
  if (auto material = find_material(materials, name, tid)) {
    QORVA_LOG(debug) << "  - Update existing material";
    return material;
  }
  QORVA_LOG(debug) << "  - Create new material";
  auto material = std::make_shared<Material>();
  material->name(name);
  materials.push_back(material);
  return material;
}

void read_property(const ptree& node, detail::MatbookMaterialState& state,
                   const detail::MatbookLoadState& load) {
  detail::MatbookProperty property{node, node.get<std::string>("<xmlattr>.property"), "", {}};
  if (auto it = load.names.find(property.id); it != load.names.end()) property.name = it->second;
  property.qualifiers = detail::read_qualifiers(node);
  if (auto data = node.get_child_optional("Data"))
    property.data_format = data->get<std::string>("<xmlattr>.format");
  auto data_set = property.qualifiers.find("Data Set");
  if (data_set != property.qualifiers.end() && property.qualifiers.count("Data Set Information")) {
    QORVA_LOG(debug) << "    - Found woven specification for Puck.";
    property.woven = true;
    property.data_set = data_set->second;
    QORVA_LOG(debug) << "      - Data Set: " << property.data_set;
  }
  detail::map_property(detail::MatbookRule{property, state, load});
}

void read_material(const ptree& element, std::vector<std::shared_ptr<Material>>& materials,
                   const matbook_string_umap_t& transfer_ids,
                   const detail::MatbookLoadState& load) {
  const ptree& bulk = element.get_child("BulkDetails");
  const std::string name = bulk.get<std::string>("Name");
  QORVA_LOG(debug) << "- Processing material " << name;
  auto tid_it = transfer_ids.find(name);
  const std::string tid = tid_it == transfer_ids.end() ? std::string() : tid_it->second;
  detail::MatbookMaterialState state;
  state.material = matched_or_new(materials, name, tid);
  if (!tid.empty()) state.material->set_string_property(kTransferIdKey, tid);
  if (auto description = bulk.get_child_optional("Description"))
    state.material->set_string_property("Description", description->data());
  for (const auto& child : bulk)
    if (child.first == "PropertyData") read_property(child.second, state, load);
  QORVA_LOG(debug) << "  Resulting Material: " << *state.material;
}

void log_start(const std::string& what, const std::shared_ptr<UnitSystem>& unit_system) {
  QORVA_LOG(info) << "Load materials from Matbook " << what;
  if (unit_system)
    QORVA_LOG(debug) << " - Model unit system is " << *unit_system;
  else
    QORVA_LOG(warning) << "load_materials_t: Model has no unit system.";
}

// The file materials to read: all (null `names`), or those whose BulkDetails Name is listed, after
// checking that every listed name is in the file.
std::vector<const ptree*> chosen_materials(const ptree& doc, const std::vector<std::string>* names,
                                           const std::string& source) {
  std::vector<const ptree*> chosen;
  std::set<std::string> found;
  const std::set<std::string> wanted =
      names ? std::set<std::string>(names->begin(), names->end()) : std::set<std::string>();
  for (const auto& child : doc) {
    if (child.first != "Material") continue;
    if (names == nullptr) {
      chosen.push_back(&child.second);
      continue;
    }
    const auto name = child.second.get_optional<std::string>("BulkDetails.Name");
    if (!name || wanted.count(*name) == 0) continue;
    chosen.push_back(&child.second);
    found.insert(*name);
  }
  if (names != nullptr && found.size() != wanted.size()) {
    std::string missing;
    for (const std::string& name : *names) {
      if (found.count(name) == 0) missing += (missing.empty() ? "'" : ", '") + name + "'";
    }
    throw runtime_error("load_matbook: no material named " + missing + " in " + source + ".");
  }
  return chosen;
}

// Everything after parsing: version upgrade, transfer ids, metadata and the chosen materials.
unsigned int load_document(ptree& document, std::vector<std::shared_ptr<Material>>& materials,
                           std::shared_ptr<UnitSystem> unit_system,
                           const MatbookLoadOptions& options, const std::vector<std::string>* names,
                           const std::string& source) {
  detail::upgrade_algorithm_names(document);
  const matbook_string_umap_t transfer_ids = read_transfer_ids(document);
  const ptree& doc = document.get_child("MatbookData.Materials.MatML_Doc");
  detail::MatbookLoadState load(std::move(unit_system), options);
  read_metadata(doc, load);
  unsigned int count = 0;
  for (const ptree* element : chosen_materials(doc, names, source)) {
    ++count;  // counted as soon as it is processed, as the log says
    read_material(*element, materials, transfer_ids, load);
  }
  QORVA_LOG(info) << "End of material load from Matbook file.";
  return count;
}

// Parses a whole document; parse errors name `name` as the parser names a file it opens itself.
ptree parse_text(const std::string& text, const std::string& name) {
  detail::check_xml_text_depth(text, name);  // the parser recurses once per level
  ptree document;
  std::istringstream in(text);
  try {
    boost::property_tree::read_xml(in, document);
  } catch (const boost::property_tree::xml_parser_error& e) {
    throw boost::property_tree::xml_parser_error(e.message(), name, e.line());
  }
  return document;
}

ptree parse_image(const FileImage& image) {
  if (image.data == nullptr && image.size > 0) {
    throw runtime_error("load_matbook: the file image " + image.name + " has no data.");
  }
  return parse_text(image.size == 0 ? std::string()
                                    : std::string(static_cast<const char*>(image.data), image.size),
                    image.name);
}

// The file is read once; the depth check and the parser both work on its text.
ptree parse_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw boost::property_tree::xml_parser_error("cannot open file", path, 0);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return parse_text(text, path);
}

}  // namespace

unsigned int load_materials(std::string path, std::vector<std::shared_ptr<Material>>& materials,
                            std::shared_ptr<UnitSystem> unit_system) {
  return load_materials_t(std::move(path), materials, std::move(unit_system));
}

unsigned int load_materials(std::string path, std::vector<std::shared_ptr<Material>>& materials,
                            std::shared_ptr<UnitSystem> unit_system,
                            const MatbookLoadOptions& options) {
  return load_materials_t(std::move(path), materials, std::move(unit_system), options);
}

unsigned int load_materials(const FileImage& image,
                            std::vector<std::shared_ptr<Material>>& materials,
                            std::shared_ptr<UnitSystem> unit_system) {
  return load_materials(image, materials, std::move(unit_system), MatbookLoadOptions());
}

unsigned int load_materials(const FileImage& image,
                            std::vector<std::shared_ptr<Material>>& materials,
                            std::shared_ptr<UnitSystem> unit_system,
                            const MatbookLoadOptions& options) {
  log_start("document " + image.name, unit_system);
  ptree document = parse_image(image);
  return load_document(document, materials, std::move(unit_system), options, nullptr, image.name);
}

// The public signature takes copies.
unsigned int load_materials(std::string path,  // NOLINT(performance-unnecessary-value-param)
                            std::vector<std::shared_ptr<Material>>& materials,
                            std::shared_ptr<UnitSystem> unit_system,
                            const MatbookLoadOptions& options,
                            const std::vector<std::string>& names) {
  log_start("file " + path, unit_system);
  ptree document = parse_file(path);
  return load_document(document, materials, std::move(unit_system), options, &names, path);
}

unsigned int load_materials(const FileImage& image,
                            std::vector<std::shared_ptr<Material>>& materials,
                            std::shared_ptr<UnitSystem> unit_system,
                            const MatbookLoadOptions& options,
                            const std::vector<std::string>& names) {
  log_start("document " + image.name, unit_system);
  ptree document = parse_image(image);
  return load_document(document, materials, std::move(unit_system), options, &names, image.name);
}

unsigned int load_materials_t(std::string path, std::vector<std::shared_ptr<Material>>& materials,
                              std::shared_ptr<UnitSystem> unit_system) {
  return load_materials_t(std::move(path), materials, std::move(unit_system), MatbookLoadOptions());
}

// The public signature takes copies.
unsigned int load_materials_t(std::string path,  // NOLINT(performance-unnecessary-value-param)
                              std::vector<std::shared_ptr<Material>>& materials,
                              std::shared_ptr<UnitSystem> unit_system,
                              const MatbookLoadOptions& options) {
  log_start("file " + path, unit_system);
  ptree document = parse_file(path);
  return load_document(document, materials, std::move(unit_system), options, nullptr, path);
}

}  // namespace qorva_mat
