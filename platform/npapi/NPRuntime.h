// The scripting part of the Netscape Plug-in API: identifiers, variants,
// objects and their class record, laid out as a macOS x86-64 browser expects.
#pragma once

#include "NPTypes.h"

typedef char NPUTF8;
typedef void* NPIdentifier;

typedef struct _NPString {
    const NPUTF8* UTF8Characters;
    uint32_t UTF8Length; // bytes, without a terminator
} NPString;

typedef enum {
    NPVariantType_Void = 0,
    NPVariantType_Null = 1,
    NPVariantType_Bool = 2,
    NPVariantType_Int32 = 3,
    NPVariantType_Double = 4,
    NPVariantType_String = 5,
    NPVariantType_Object = 6
} NPVariantType;

struct NPObject;

typedef struct _NPVariant {
    NPVariantType type;
    union {
        bool boolValue;
        int32_t intValue;
        double doubleValue;
        NPString stringValue;
        NPObject* objectValue;
    } value;
} NPVariant;

struct NPClass;

typedef NPObject* (*NPAllocateFunctionPtr)(NPP npp, NPClass* aClass);
typedef void (*NPDeallocateFunctionPtr)(NPObject* npobj);
typedef void (*NPInvalidateFunctionPtr)(NPObject* npobj);
typedef bool (*NPHasMethodFunctionPtr)(NPObject* npobj, NPIdentifier name);
typedef bool (*NPInvokeFunctionPtr)(NPObject* npobj, NPIdentifier name, const NPVariant* args,
                                    uint32_t argCount, NPVariant* result);
typedef bool (*NPInvokeDefaultFunctionPtr)(NPObject* npobj, const NPVariant* args,
                                           uint32_t argCount, NPVariant* result);
typedef bool (*NPHasPropertyFunctionPtr)(NPObject* npobj, NPIdentifier name);
typedef bool (*NPGetPropertyFunctionPtr)(NPObject* npobj, NPIdentifier name, NPVariant* result);
typedef bool (*NPSetPropertyFunctionPtr)(NPObject* npobj, NPIdentifier name,
                                         const NPVariant* value);
typedef bool (*NPRemovePropertyFunctionPtr)(NPObject* npobj, NPIdentifier name);
typedef bool (*NPEnumerationFunctionPtr)(NPObject* npobj, NPIdentifier** value, uint32_t* count);
typedef bool (*NPConstructFunctionPtr)(NPObject* npobj, const NPVariant* args, uint32_t argCount,
                                       NPVariant* result);

enum {
    NP_CLASS_STRUCT_VERSION_ENUM = 2, // first version with enumerate
    NP_CLASS_STRUCT_VERSION_CTOR = 3, // first version with construct
    NP_CLASS_STRUCT_VERSION = 3
};

struct NPClass {
    uint32_t structVersion;
    NPAllocateFunctionPtr allocate;
    NPDeallocateFunctionPtr deallocate;
    NPInvalidateFunctionPtr invalidate;
    NPHasMethodFunctionPtr hasMethod;
    NPInvokeFunctionPtr invoke;
    NPInvokeDefaultFunctionPtr invokeDefault;
    NPHasPropertyFunctionPtr hasProperty;
    NPGetPropertyFunctionPtr getProperty;
    NPSetPropertyFunctionPtr setProperty;
    NPRemovePropertyFunctionPtr removeProperty;
    NPEnumerationFunctionPtr enumerate;
    NPConstructFunctionPtr construct;
};

struct NPObject {
    NPClass* _class;
    uint32_t referenceCount;
};

static_assert(sizeof(NPUTF8) == 1 && sizeof(NPIdentifier) == 8 && sizeof(NPVariantType) == 4);
static_assert(sizeof(NPString) == 16 && offsetof(NPString, UTF8Length) == 8);
static_assert(sizeof(NPVariant) == 24 && alignof(NPVariant) == 8 &&
              offsetof(NPVariant, value) == 8);
static_assert(sizeof(NPObject) == 16 && offsetof(NPObject, referenceCount) == 8);
static_assert(sizeof(NPClass) == 104 && offsetof(NPClass, allocate) == 8 &&
              offsetof(NPClass, invalidate) == 24 && offsetof(NPClass, invoke) == 40 &&
              offsetof(NPClass, hasProperty) == 56 && offsetof(NPClass, removeProperty) == 80 &&
              offsetof(NPClass, enumerate) == 88 && offsetof(NPClass, construct) == 96);
