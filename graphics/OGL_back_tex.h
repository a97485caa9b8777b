// The backdrop behind the user interface. Filled in by its own unit later.
#pragma once

// Builds the backdrop picture as textures; run when a second window opens.
void OGL_build_back_tex();
