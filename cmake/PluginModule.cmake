# The recipe of a plug-in module: a shared library made of a product's
# factory sources (its getFactoryInstance, plug-in and metadata), the NPAPI
# binding and the platform's part, exporting NP_GetEntryPoints,
# NP_Initialize and NP_Shutdown and nothing else.
#
#   add_plugin_module(<target> SOURCES <sources>... [LIBRARIES <libraries>...])
set(PLUGIN_MODULE_DIR ${CMAKE_CURRENT_LIST_DIR}/../src/PluginAuto/Mac)

function(add_plugin_module target)
    cmake_parse_arguments(PARSE_ARGV 1 MODULE "" "" "SOURCES;LIBRARIES")
    add_library(${target} SHARED ${MODULE_SOURCES})
    target_link_libraries(${target} PRIVATE NpapiCore PluginAutoMac ${MODULE_LIBRARIES})
    set_target_properties(${target} PROPERTIES
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON
        LINK_DEPENDS ${PLUGIN_MODULE_DIR}/np_exports.map)
    target_link_options(${target} PRIVATE -Wl,--no-undefined
        -Wl,--version-script=${PLUGIN_MODULE_DIR}/np_exports.map)
    # The module's dynamic symbols are the three entry points, nothing more.
    add_test(NAME ${target}_exports
        COMMAND nm -D --defined-only --format=just-symbols $<TARGET_FILE:${target}>)
    set_tests_properties(${target}_exports PROPERTIES TIMEOUT 30
        PASS_REGULAR_EXPRESSION "^NP_GetEntryPoints\nNP_Initialize\nNP_Shutdown\n$")
    # The browser unloads a module no page uses: nothing may keep it loaded
    # after dlclose, neither a destructor registered for thread exit, nor a
    # symbol unique in the process, nor the flag that forbids unloading.
    add_test(NAME ${target}_unloadable
        COMMAND readelf --wide --dynamic --dyn-syms $<TARGET_FILE:${target}>)
    set_tests_properties(${target}_unloadable PROPERTIES TIMEOUT 30
        FAIL_REGULAR_EXPRESSION "__cxa_thread_atexit;UNIQUE;NODELETE")
endfunction()
