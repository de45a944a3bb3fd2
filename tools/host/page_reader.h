// Reading a page description (JSON) into a checked page ready to draw.
#pragma once

#include "host/page_model.h"

#include <string>

namespace marlhost {

struct ReaderSettings {
    std::string FontDirectory; // where the built-in fonts are
};

// Parses page text; `name` is used in messages and `directory` resolves the relative paths
// of images and fonts. Throws a page error (with line and column for malformed JSON).
Page ParsePage(const std::string& text, const std::string& name, const std::string& directory,
               const ReaderSettings& settings);

// Reads and parses the page file at path.
Page ReadPage(const std::string& path, const ReaderSettings& settings);

} // namespace marlhost
