// Umbrella header: includes every public header of the library.
// Include single headers instead to keep compile times down.
#pragma once

#include "qorva_mat/error.hpp"
#include "qorva_mat/file_image.hpp"
#include "qorva_mat/hdf5_helpers.hpp"
#include "qorva_mat/load_hdf5.hpp"
#include "qorva_mat/load_matbook.hpp"
#include "qorva_mat/log.hpp"
#include "qorva_mat/matbook_format.hpp"
#include "qorva_mat/material.hpp"
#include "qorva_mat/property_factory.hpp"
#include "qorva_mat/property_set.hpp"
#include "qorva_mat/string_properties.hpp"
#include "qorva_mat/units.hpp"
#include "qorva_mat/version.hpp"
#include "qorva_mat/write_hdf5.hpp"
#include "qorva_mat/write_matbook.hpp"
