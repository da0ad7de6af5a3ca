// The tool through which a host drives the bypass relays and the watchdog of
// one board. Every board has a subclass; the host calls the virtual
// operations, whose order is part of the exported interface.
#pragma once

#include "framework/BypassInfo.h"

#ifdef _WIN32
// mingw-w64 GCC gives every type_info object of a translation unit the
// attribute list of the first one it creates there. Were that CBypassTool's,
// which dllexport marks, the type information of every class defined after
// it (each board's tool) would be exported as well; std::exception, defined
// in <exception>, comes first instead.
#include <exception>
#endif

class BYPASSTOOL_API CBypassTool {
public:
    explicit CBypassTool(int nBypassType);
    CBypassTool(const CBypassTool& other);
    CBypassTool& operator=(const CBypassTool& other);
    virtual ~CBypassTool();

    // Opens the port driver: 1 when it is open afterwards, 0 when not.
    virtual int init();
    // Closes the port driver if it is open.
    virtual void fini();
    // Stops the watchdog.
    virtual int DisableWDT() = 0;
    // (Re)starts the watchdog with the stored timeout.
    virtual int EnableWDT() = 0;
    // Arms the watchdog for nSecond seconds; on expiry the ports go into
    // bypass. Stores nSecond as the timeout. The first argument is unused.
    virtual int SetWDTTimeout_Bypass(int nReserved, int nSecond) = 0;
    // Arms the watchdog for nSecond seconds; on expiry the system restarts.
    virtual int SetWDTTimeout_ResartSys(int nReserved, int nSecond) = 0;
    // Re-arms with the stored timeout (slot 5 or 6 with m_nTimeoutSecond).
    virtual int SetWDTTimeout_Bypass_Again(int nReserved);
    virtual int SetWDTTimeout_ResartSys_Again(int nReserved);
    // Puts the ports into bypass now, or takes them out of it.
    virtual int EnableBypass() = 0;
    virtual int DisableBypass() = 0;
    // 1 when the board has a watchdog this tool drives.
    virtual int IsSupportWDT() = 0;
    // Writes a description of the current state into pszDesc; the base
    // writes nothing.
    virtual void GetCurDesc(char* pszDesc);

    int GetBypassType() const;
    int GetTimeoutSecond() const;

protected:
    int m_nBypassType;
    int m_nTimeoutSecond;
};

// The tool of a board without bypass hardware: it never opens the port
// driver and every operation answers 0.
class BYPASSTOOL_API CNULLBypassTool : public CBypassTool {
public:
    explicit CNULLBypassTool(int nBypassType);

    int init() override;
    void fini() override;
    int DisableWDT() override;
    int EnableWDT() override;
    int SetWDTTimeout_Bypass(int nReserved, int nSecond) override;
    int SetWDTTimeout_ResartSys(int nReserved, int nSecond) override;
    int EnableBypass() override;
    int DisableBypass() override;
    int IsSupportWDT() override;
};
