/* The C interface from a C program, linked against the shared library:
 * the catalogue rows, and every operation reaching its board's slot,
 * checked by the port traffic it records. */
#include "framework/BypassToolC.h"

#include <stdio.h>
#include <string.h>

static int g_failures;

static void Check(int condition, const char* what)
{
    if (!condition) {
        printf("FAILED: %s\n", what);
        ++g_failures;
    }
}

static const char* TakeTrace(void)
{
    static char trace[4096];
    bypass_take_port_trace(trace, sizeof trace);
    return trace;
}

static void CheckCatalogue(void)
{
    const struct bypass_info* row = bypass_catalogue_row(7);
    Check(bypass_catalogue_count() == BYPASS_INFO_ROWS, "every catalogue row");
    Check(sizeof(struct bypass_info) == 204, "a row is 204 bytes");
    Check(row && row->type == 6 && strcmp(row->board_name, "MS-96E3") == 0, "row 7 is MS-96E3");
    Check(bypass_catalogue_row(BYPASS_INFO_ROWS) == NULL && bypass_catalogue_row(-1) == NULL,
        "no row past the last or before the first");
}

static void CheckG41Nexcom(void)
{
    bypass_tool* tool = bypass_tool_create(8);
    Check(tool && bypass_tool_type(tool) == 8, "type 8 tool");
    Check(strcmp(TakeTrace(), "open -> 0\n") == 0, "create opens the driver");
    Check(bypass_tool_set_wdt_timeout_bypass(tool, 0, 30) == 0, "arm for bypass");
    Check(bypass_tool_timeout_second(tool) == 30, "arming stores the timeout");
    bypass_tool_set_wdt_timeout_restart_sys_again(tool, 0);
    bypass_tool_enable_bypass(tool);
    bypass_tool_disable_wdt(tool);
    bypass_tool_enable_wdt(tool);
    Check(strcmp(TakeTrace(),
              "in8 F2 -> FF\nout8 F2 05\nin8 F3 -> FF\nout8 F3 FE\n" /* arm, 30 s */
              "in8 F2 -> FF\nout8 F2 05\nin8 F3 -> FF\nout8 F3 FE\n" /* re-arm */
              "in8 F3 -> FF\nout8 F3 7E\n"                           /* bypass */
              "in8 F3 -> FF\nout8 F3 BE\n"                           /* normal */
              "in8 F2 -> FF\nout8 F2 05\n")                          /* code only */
            == 0,
        "each operation reaches its own slot");
    bypass_tool_destroy(tool);
    Check(strcmp(TakeTrace(), "close\n") == 0, "destroy closes the driver");
}

static void CheckDescriptionAndResults(void)
{
    char text[8], exact[24];
    bypass_tool* h61 = bypass_tool_create(9);
    bypass_tool* c1045;
    Check(bypass_tool_get_cur_desc(h61, text, sizeof text) == 23, "full length of the text");
    Check(strcmp(text, "0xf0=ff") == 0, "the text is cut to the buffer");
    memset(exact, '#', sizeof exact);
    Check(bypass_tool_get_cur_desc(h61, exact, 23) == 23 && exact[22] == '\0' && exact[23] == '#',
        "a buffer as long as the text keeps the last byte for the terminator");
    Check(bypass_tool_is_support_wdt(h61) == 1, "H61-MS has a watchdog");
    bypass_tool_destroy(h61);

    c1045 = bypass_tool_create(1);
    TakeTrace();
    Check(bypass_tool_set_wdt_timeout_restart_sys(c1045, 0, 65) == -1, "1045 refuses 65 s");
    Check(bypass_tool_set_wdt_timeout_bypass_again(c1045, 0) == -1, "and its re-arm");
    Check(strcmp(TakeTrace(), "") == 0, "refused without a port access");
    bypass_tool_fini(c1045);
    Check(bypass_tool_init(c1045) == 1, "init opens again");
    bypass_tool_destroy(c1045);

    h61 = bypass_tool_create(12);
    Check(bypass_tool_type(h61) == 0 && bypass_tool_disable_bypass(h61) == 0, "null tool");
    Check(bypass_tool_get_cur_desc(h61, text, sizeof text) == 0 && text[0] == '\0', "no text");
    bypass_tool_destroy(h61);
    bypass_tool_destroy(NULL);
}

int main(void)
{
    bypass_record_ports(1);
    CheckCatalogue();
    CheckG41Nexcom();
    CheckDescriptionAndResults();
    bypass_record_ports(0);
    printf("%s\n", g_failures ? "C interface: FAILED" : "C interface: ok");
    return g_failures ? 1 : 0;
}
