// The widgets' label split (see label_split.h).
#include "foundation/label_split.h"

// Removes one blank directly before (before = true) or after each occurrence of the marker.
static void drop_blank_beside(std::string& label, char marker, bool before)
{
    for (size_t i = 0; i + 1 < label.size(); ++i) {
        if (before && label[i] == ' ' && label[i + 1] == marker)
            label.erase(i, 1);
        else if (!before && label[i] == marker && label[i + 1] == ' ')
            label.erase(i + 1, 1);
    }
}

void BTN_split_label(std::string& label, std::string& first, std::string& second, std::string& help)
{
    drop_blank_beside(label, '|', true);
    drop_blank_beside(label, '|', false);
    drop_blank_beside(label, '{', true);
    drop_blank_beside(label, '{', false);

    const size_t len = label.size();
    size_t brace = label.rfind('{');
    if (brace == std::string::npos) brace = len;
    // The help part runs to the end of the label, so a '|' inside it splits nothing.
    size_t bar = brace == 0 ? std::string::npos : label.rfind('|', brace - 1);
    if (bar == std::string::npos) bar = brace;

    first = label.substr(0, bar);
    second = bar < brace ? label.substr(bar + 1, brace - bar - 1) : std::string();
    help = brace < len ? label.substr(brace + 1) : std::string();
}
