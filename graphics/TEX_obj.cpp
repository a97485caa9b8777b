// Texture objects and their loader (see TEX_obj.h).
#include "graphics/TEX_obj.h"

// Nothing queues textures for deletion yet; the deletion queue comes with the texture loader.
void TEX_flush_deleted_textures()
{
}
