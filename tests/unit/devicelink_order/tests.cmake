# This binary records every call that HidUtil makes: the ten library calls are defined by the
# test itself (no device library), and the window calls are redirected to recording fakes.
set(test_link_morvantx OFF)
foreach(call GetModuleHandleA LoadCursorA GetStockObject RegisterClassA UnregisterClassA
             CreateWindowExA ShowWindow DestroyWindow DefWindowProcA)
    target_link_options(${test_target} PRIVATE "-Wl,--wrap=${call}")
endforeach()
