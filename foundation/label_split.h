// The widgets' label split, as the widgets draw their labels and the translation check compares
// English and translated labels. It lives here, below both.
#pragma once
#include <string>

// Cuts a label into its three parts: the text left of the widget, the text right of it after
// '|', and the hover help after '{'. The label itself loses the blanks next to its markers; a
// part that the label does not have comes back empty.
void BTN_split_label(std::string& label, std::string& first, std::string& second, std::string& help);
