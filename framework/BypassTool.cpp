#include "framework/BypassTool.h"

#include "portio/PortBackend.h"

CBypassTool::CBypassTool(int nBypassType)
    : m_nBypassType(nBypassType)
    , m_nTimeoutSecond(5)
{
}

CBypassTool::CBypassTool(const CBypassTool& other) = default;

CBypassTool& CBypassTool::operator=(const CBypassTool& other) = default;

CBypassTool::~CBypassTool() = default;

int CBypassTool::init() { return OpenPortDriver() == 0 ? 1 : 0; }

void CBypassTool::fini() { ClosePortDriver(); }

int CBypassTool::SetWDTTimeout_Bypass_Again(int nReserved)
{
    return SetWDTTimeout_Bypass(nReserved, m_nTimeoutSecond);
}

int CBypassTool::SetWDTTimeout_ResartSys_Again(int nReserved)
{
    return SetWDTTimeout_ResartSys(nReserved, m_nTimeoutSecond);
}

void CBypassTool::GetCurDesc(char* /*pszDesc*/) { }

int CBypassTool::GetBypassType() const { return m_nBypassType; }

int CBypassTool::GetTimeoutSecond() const { return m_nTimeoutSecond; }

CNULLBypassTool::CNULLBypassTool(int nBypassType)
    : CBypassTool(nBypassType)
{
}

int CNULLBypassTool::init() { return 1; }
void CNULLBypassTool::fini() { }
int CNULLBypassTool::DisableWDT() { return 0; }
int CNULLBypassTool::EnableWDT() { return 0; }
int CNULLBypassTool::SetWDTTimeout_Bypass(int, int) { return 0; }
int CNULLBypassTool::SetWDTTimeout_ResartSys(int, int) { return 0; }
int CNULLBypassTool::EnableBypass() { return 0; }
int CNULLBypassTool::DisableBypass() { return 0; }
int CNULLBypassTool::IsSupportWDT() { return 0; }
