// What every kind of item shows besides its own fields: subject, plain-text body, categories.
#pragma once

#include <string>
#include <vector>

#include "message/item_properties.h"

namespace brevik {

// The subject without its leading marker and prefix-length characters.
std::string itemSubject(const PropertyBag& item);
// The body as plain text: the text body, else what the compressed RTF holds as text.
std::string itemPlainBody(const PropertyBag& item);
// The categories ("Keywords" in the public strings set).
std::vector<std::string> itemCategories(const PropertyBag& item);

}  // namespace brevik
