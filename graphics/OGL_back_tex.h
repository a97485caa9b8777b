// What stands behind the user interface: the opaque backdrop colour that modal screens fill the
// window with, and the backdrop picture as 16 tile textures.
#pragma once

// Covers the whole window with colour 43, whatever popup is open. Main thread.
void OGL_fill_backdrop();
// Builds (or refreshes) the backdrop picture "intro.png" of the bitmaps folder as 4 x 4 textures
// of 512 x 512 in the slots 1027 to 1042; does nothing once a popup has been opened. Run when a
// second window opens; may run on a thread with a context of its own current.
void OGL_build_back_tex();
