// The object through which a host obtains the one tool for its board.
#pragma once

#include "framework/BypassTool.h"

#include <string>

class BYPASSTOOL_API CBypassToolManager {
public:
    CBypassToolManager();
    ~CBypassToolManager();
    // Copies the pointer: both managers then refer to the same tool, and
    // only one of them may tear it down.
    CBypassToolManager& operator=(const CBypassToolManager& other);

    // Tears down the current tool (its fini closes the port driver), then
    // creates and inits the tool for nType. -1 identifies the host board;
    // an unknown type yields the null tool with type 0. Never null.
    CBypassTool* CreateBypassTool(int nType);
    // Tears down the current tool, if any.
    void DestroyBypassTool();
    // The current tool, or null.
    CBypassTool* GetBypassTool();

    // Stores the mainboard product name in strName (empty on failure);
    // answers 1 when it is not empty, 0 when it is.
    static int GetProductNameFromMainBoard(std::string& strName);

private:
    CBypassTool* m_pBypassTool;
};
