#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/recovery_view.h"
#include "engine/native_files.h"

#ifdef BREVIK_MIMALLOC
#include <mimalloc.h>
#endif

int main(int argc, char** argv) {
#ifdef BREVIK_MIMALLOC
    // Every fresh 4 KiB page costs a fault, which on virtual machines costs as much as copying
    // tens of kilobytes: memory comes in 2 MiB pages where the system offers them, and memory a
    // pass frees stays for its next allocations for a second before going back to the system.
    // Segments are committed whole from the first: one committed piece at a time would split
    // them into mappings too small for 2 MiB pages.
    mi_option_enable(mi_option_large_os_pages);
    mi_option_set(mi_option_decommit_delay, 1000);
    mi_option_set(mi_option_eager_commit_delay, 0);
#endif
    // UTF-8 inside: Windows hands over its arguments in the ANSI code page, which loses names.
    brevik::native::setUpConsole();
    const std::vector<std::string> args = brevik::native::utf8Arguments(argc, argv);
    std::vector<const char*> pointers;
    for (const std::string& a : args)
        pointers.push_back(a.c_str());
    pointers.push_back(nullptr);
    return brevik::cli::runCli(static_cast<int>(args.size()), pointers.data(), std::cout,
                               std::cerr);
}
