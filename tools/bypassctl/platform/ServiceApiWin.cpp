#include "platform/ServiceApi.h"

namespace bypassctl {
namespace {

const ServiceApi kReal = {
    ::OpenSCManagerW,
    ::CreateServiceW,
    ::OpenServiceW,
    ::ChangeServiceConfig2W,
    ::ControlService,
    ::QueryServiceStatus,
    ::DeleteService,
    ::CloseServiceHandle,
    ::StartServiceCtrlDispatcherW,
    ::RegisterServiceCtrlHandlerExW,
    ::SetServiceStatus,
    ::ReportEventW,
    ::RegSetKeyValueW,
    ::RegDeleteKeyW,
    ::GetModuleFileNameW,
    ::WaitForSingleObject,
    ::GetNamedSecurityInfoW,
    ::FindFirstFileW,
    ::FindNextFileW,
    ::FindClose,
};

bypass::CallTable<ServiceApi> g_calls(kReal);

} // namespace
} // namespace bypassctl

template <> bypass::CallTable<bypassctl::ServiceApi>& bypass::CallTableOf<bypassctl::ServiceApi>()
{
    return bypassctl::g_calls;
}
