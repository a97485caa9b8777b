// The one graphics settings record (see OGL_extensions.h).
#include "graphics/OGL_extensions.h"

OGL_settings gGLSettings;
