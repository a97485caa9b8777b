// The line-end and blank tests of the hand-written text readers. They are declared in
// foundation/text_reader.h, where the readers of every layer find them; this unit fills them in.
#pragma once
#include "foundation/text_reader.h"
