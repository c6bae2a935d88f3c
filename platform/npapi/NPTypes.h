// Scalar types, records and values of the Netscape Plug-in API as a macOS
// x86-64 browser lays them out. Written for this project; layouts are checked
// below so that a real browser could load the module.
#pragma once

#include <cstddef>
#include <cstdint>

typedef unsigned char NPBool;
typedef int16_t NPError;
typedef int16_t NPReason;
typedef char* NPMIMEType;

struct CGContext;

typedef struct _NPP {
    void* pdata; // the plug-in's private data
    void* ndata; // the browser's private data
} NPP_t;
typedef NPP_t* NPP;

typedef struct _NPStream {
    void* pdata;
    void* ndata;
    const char* url;
    uint32_t end;
    uint32_t lastmodified;
    void* notifyData;
    const char* headers;
} NPStream;

typedef struct _NPByteRange {
    int32_t offset;
    uint32_t length;
    struct _NPByteRange* next;
} NPByteRange;

typedef struct _NPSavedData {
    int32_t len;
    void* buf;
} NPSavedData;

typedef struct _NPRect {
    uint16_t top;
    uint16_t left;
    uint16_t bottom;
    uint16_t right;
} NPRect;

typedef void* NPRegion;

typedef enum { NPWindowTypeWindow = 1, NPWindowTypeDrawable } NPWindowType;

typedef struct _NPWindow {
    void* window; // on macOS with CoreGraphics: an NP_CGContext*
    int32_t x;
    int32_t y;
    uint32_t width;
    uint32_t height;
    NPRect clipRect;
    NPWindowType type;
} NPWindow;

typedef struct NP_CGContext {
    CGContext* context;
    void* window; // the browser's window
} NP_CGContext;

struct NPPrint; // printing is not supported; only passed through

// The browser may ask about selectors not listed here: a fixed 32-bit
// underlying type keeps every such value a valid NPPVariable.
typedef enum : int32_t {
    NPPVpluginNameString = 1,
    NPPVpluginDescriptionString = 2,
    NPPVpluginScriptableNPObject = 15,
    NPPVpluginDrawingModel = 1000,
    NPPVpluginEventModel = 1001,
    NPPVpluginCoreAnimationLayer = 1003
} NPPVariable;

typedef enum : int32_t {
    NPNVWindowNPObject = 15,
    NPNVPluginElementNPObject = 16,
    NPNVprivateModeBool = 18,
    NPNVpluginDrawingModel = 1000,
    NPNVsupportsCoreGraphicsBool = 2001,
    NPNVsupportsCoreAnimationBool = 2003,
    NPNVsupportsInvalidatingCoreAnimationBool = 2004,
    NPNVsupportsCarbonBool = 3000,
    NPNVsupportsCocoaBool = 3001
} NPNVariable;

typedef enum { NPNURLVProxy = 502 } NPNURLVariable;

// Both model types hold -1 as well: the plug-in's mark for no model.
typedef enum : int32_t {
    NPDrawingModelCoreGraphics = 1,
    NPDrawingModelOpenGL = 2,
    NPDrawingModelCoreAnimation = 3,
    NPDrawingModelInvalidatingCoreAnimation = 4
} NPDrawingModel;

typedef enum : int32_t { NPEventModelCarbon = 0, NPEventModelCocoa = 1 } NPEventModel;

enum {
    NPERR_NO_ERROR = 0,
    NPERR_GENERIC_ERROR = 1,
    NPERR_INVALID_INSTANCE_ERROR = 2,
    NPERR_INVALID_FUNCTABLE_ERROR = 3,
    NPERR_MODULE_LOAD_FAILED_ERROR = 4,
    NPERR_OUT_OF_MEMORY_ERROR = 5,
    NPERR_INVALID_PLUGIN_ERROR = 6,
    NPERR_INVALID_PLUGIN_DIR_ERROR = 7,
    NPERR_INCOMPATIBLE_VERSION_ERROR = 8,
    NPERR_INVALID_PARAM = 9,
    NPERR_INVALID_URL = 10,
    NPERR_FILE_NOT_FOUND = 11,
    NPERR_NO_DATA = 12,
    NPERR_STREAM_NOT_SEEKABLE = 13,
    NPERR_TIME_RANGE_NOT_SUPPORTED = 14,
    NPERR_MALFORMED_SITE = 15
};

enum { NPRES_DONE = 0, NPRES_NETWORK_ERR = 1, NPRES_USER_BREAK = 2 };

// Stream types the plug-in chooses in NPP_NewStream.
enum { NP_NORMAL = 1, NP_SEEK = 2, NP_ASFILE = 3, NP_ASFILEONLY = 4 };

// Instance modes of NPP_New.
enum { NP_EMBED = 1, NP_FULL = 2 };

enum {
    NP_VERSION_MAJOR = 0,
    NP_VERSION_MINOR = 29,
    NPVERS_HAS_POPUPS_ENABLED_STATE = 16,
    NPVERS_HAS_NPOBJECT_ENUM = 18,
    NPVERS_HAS_URL_AND_AUTH_INFO = 21,
    NPVERS_MACOSX_HAS_COCOA_EVENTS = 23
};

static_assert(sizeof(NPBool) == 1 && sizeof(NPError) == 2 && sizeof(NPReason) == 2);
static_assert(sizeof(NPPVariable) == 4 && sizeof(NPNVariable) == 4 && sizeof(NPNURLVariable) == 4);
static_assert(sizeof(NPDrawingModel) == 4 && sizeof(NPEventModel) == 4);
static_assert(sizeof(NPP_t) == 16 && alignof(NPP_t) == 8 && offsetof(NPP_t, ndata) == 8);
static_assert(sizeof(NPStream) == 48 && alignof(NPStream) == 8);
static_assert(offsetof(NPStream, url) == 16 && offsetof(NPStream, end) == 24 &&
              offsetof(NPStream, lastmodified) == 28 && offsetof(NPStream, notifyData) == 32 &&
              offsetof(NPStream, headers) == 40);
static_assert(sizeof(NPByteRange) == 16 && offsetof(NPByteRange, length) == 4 &&
              offsetof(NPByteRange, next) == 8);
static_assert(sizeof(NPRect) == 8 && alignof(NPRect) == 2 && offsetof(NPRect, left) == 2 &&
              offsetof(NPRect, bottom) == 4 && offsetof(NPRect, right) == 6);
static_assert(sizeof(NPWindow) == 40 && alignof(NPWindow) == 8);
static_assert(offsetof(NPWindow, x) == 8 && offsetof(NPWindow, y) == 12 &&
              offsetof(NPWindow, width) == 16 && offsetof(NPWindow, height) == 20 &&
              offsetof(NPWindow, clipRect) == 24 && offsetof(NPWindow, type) == 32);
static_assert(sizeof(NP_CGContext) == 16 && offsetof(NP_CGContext, window) == 8);
