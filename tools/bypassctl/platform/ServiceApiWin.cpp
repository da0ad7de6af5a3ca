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

const ServiceApi* g_api = nullptr;

} // namespace

const ServiceApi& ServiceCalls() { return g_api ? *g_api : kReal; }

const ServiceApi* SetServiceApi(const ServiceApi* api)
{
    const ServiceApi* previous = g_api;
    g_api = api;
    return previous;
}

} // namespace bypassctl
