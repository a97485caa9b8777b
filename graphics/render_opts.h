// The render options of the graphics settings record: published as "reno/" tunables during static
// construction and given their defaults by OGL_settings::RENO_reset_options (declared with the
// record in OGL_extensions.h) once the driver's capabilities are known.
#pragma once
#include "graphics/OGL_extensions.h"
