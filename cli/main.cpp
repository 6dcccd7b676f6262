#include <clocale>
#include <iostream>

#include "cli/commands.h"
#include "cli/recovery_view.h"

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
    return brevik::cli::runCli(argc, argv, std::cout, std::cerr);
}
