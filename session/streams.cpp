// The state every writer reads: the settings record and the stack of input
// sources, whose current one owns the results and error streams in force.
#include "isql.h"

Settings gSettings;
ClientStateList gClientStateList;
const CurrentStream gfpResFile{true};
const CurrentStream gfpErrFile{false};

CurrentStream::operator FILE*() const {
    const ClientStateList& list = gClientStateList;
    if (!results && list.testModeErrFile != nullptr) return list.testModeErrFile;
    const ClientState* current = list.last();
    if (current == nullptr) return results ? list.idleResFile : list.idleErrFile;
    return results ? current->resFile : current->errFile;
}
