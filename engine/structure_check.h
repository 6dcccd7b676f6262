// Checks of the structures a reader such as Outlook relies on and the recovery can do without:
// the header and its checksums, the crypt method, the index roots, the allocation maps. What
// fails is noted as damage that loses nothing: the file is broken even when every item was
// rebuilt, and the recovered copy should replace it.
#pragma once

#include "engine/message_base.h"

namespace brevik {

// After the layout is known: the header (magic, checksums, crypt method byte, allocation-map
// flag), the two index root pages, and the allocation-map pages.
void checkFileStructure(MessageBase& base);

// After the encoding vote: a header whose crypt method disagrees with how the blocks are
// encoded is damaged.
void checkCryptMethod(MessageBase& base);

// True when `page` is an index page of the layout (block or node index) with a sound trailer.
bool isIndexPage(ByteView page, const ndb::PageLayout& layout);

}  // namespace brevik
