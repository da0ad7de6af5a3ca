#include "framework/BypassToolManager.h"

#include "framework/BaseboardQuery.h"
#include "framework/ToolFactory.h"

CBypassToolManager::CBypassToolManager()
    : m_pBypassTool(nullptr)
{
}

CBypassToolManager::~CBypassToolManager() { DestroyBypassTool(); }

CBypassToolManager& CBypassToolManager::operator=(const CBypassToolManager& other)
{
    m_pBypassTool = other.m_pBypassTool;
    return *this;
}

CBypassTool* CBypassToolManager::CreateBypassTool(int nType)
{
    // The old tool's fini closes the shared driver handle before the new
    // tool's init opens it again.
    DestroyBypassTool();
    if (nType == -1) {
        const int hostType = GetHostBypassType();
        nType = hostType < 0 ? 0 : hostType;
    }
    CBypassTool* tool = bypass::MakeBypassTool(nType);
    tool->init();
    m_pBypassTool = tool;
    return tool;
}

void CBypassToolManager::DestroyBypassTool()
{
    if (!m_pBypassTool)
        return;
    m_pBypassTool->fini();
    delete m_pBypassTool;
    m_pBypassTool = nullptr;
}

CBypassTool* CBypassToolManager::GetBypassTool() { return m_pBypassTool; }

int CBypassToolManager::GetProductNameFromMainBoard(std::string& strName)
{
    strName = bypass::ReadBaseboardProduct();
    return strName.empty() ? 0 : 1;
}
