// Umbrella header: includes every public header of the library.
// Include single headers instead to keep compile times down.
#pragma once

#include "qorva_mat/error.hpp"
#include "qorva_mat/log.hpp"
#include "qorva_mat/units.hpp"
