// Texture objects and their loader. Only the per-frame flush of deleted textures exists yet;
// the rest is filled in by its own unit later.
#pragma once

// Deletes the texture names that other threads queued for deletion; main thread, once a frame.
void TEX_flush_deleted_textures();
