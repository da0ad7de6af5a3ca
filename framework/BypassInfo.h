// The board catalogue and the identification of the host board.
// Exported with plain C names; a host includes this header (and the two tool
// headers) and links the library, nothing else.
#pragma once

#if defined(_WIN32)
#if defined(BYPASSTOOL_EXPORTS)
#define BYPASSTOOL_API __declspec(dllexport)
#else
#define BYPASSTOOL_API __declspec(dllimport)
#endif
#else
#define BYPASSTOOL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// One catalogue row: 204 bytes, no padding. The descriptions and the Chinese
// model labels are GBK (code page 936) bytes.
struct bypass_info {
    int type;             // board type, the key of the row
    char board_name[64];  // mainboard product name; empty: never matched
    char description[64]; // platform description, GBK
    char model_label[64]; // appliance model label
    int extra1;           // values for the host; the library never reads them
    int extra2;
};

// The number of catalogue rows.
enum { BYPASS_INFO_ROWS = 16 };

// The catalogue, and the number of rows GetHostBypassType searches.
BYPASSTOOL_API extern struct bypass_info g_bypass_info_array[BYPASS_INFO_ROWS];
BYPASSTOOL_API extern int g_bypass_info_count;

// The first of the catalogue rows holding type, or null when none does.
BYPASSTOOL_API struct bypass_info* find_bypass_info(int type);

// The type of the board the library runs on, found by its mainboard product
// name among the first g_bypass_info_count rows; -1 when it is unknown.
BYPASSTOOL_API int GetHostBypassType(void);

#ifdef __cplusplus
}
#endif
