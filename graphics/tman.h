// The texture manager. Only the missing-texture flags that the frame's overlay asks about exist
// yet; the manager itself is filled in by its own unit later.
#pragma once

class tman {
public:
    // Non-zero while the flag is raised and its message not yet shown.
    int missing_scenery_pending();
    int missing_aircraft_pending();
    int missing_other_pending();
    // Marks the flag's message as shown.
    void ack_missing_scenery();
    void ack_missing_aircraft();
    void ack_missing_other();
};

extern tman gTextures;
