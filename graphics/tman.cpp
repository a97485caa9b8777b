// The texture manager (see tman.h).
#include "graphics/tman.h"

tman gTextures;

// No texture is loaded yet, so none can be missing.
int tman::missing_scenery_pending()
{
    return 0;
}

int tman::missing_aircraft_pending()
{
    return 0;
}

int tman::missing_other_pending()
{
    return 0;
}

void tman::ack_missing_scenery()
{
}

void tman::ack_missing_aircraft()
{
}

void tman::ack_missing_other()
{
}
