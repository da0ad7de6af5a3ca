// What the systems share of Process.h: the C runtime's descriptor calls,
// which mingw's unistd.h offers as well.
#include "platform/Process.h"

#include <cstdio>

#include <unistd.h>

namespace bypassctl {

StdoutToStderr::StdoutToStderr(bool active)
{
    if (!active)
        return;
    std::fflush(stdout);
    m_saved = dup(1);
    if (m_saved >= 0)
        dup2(2, 1);
}

StdoutToStderr::~StdoutToStderr()
{
    if (m_saved < 0)
        return;
    std::fflush(stdout);
    dup2(m_saved, 1);
    close(m_saved);
}

} // namespace bypassctl
