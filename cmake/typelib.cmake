# Type libraries, compiled from IDL by widl for the build's system kind. widl finds stdole2.tlb
# (IDispatch and friends) among Wine's own type libraries; the libraries refer to it instead of
# carrying the OLE base interfaces.
if(QUILLON_ARCH_32)
  set(QUILLON_WIDL_ARCH --win32)
else()
  set(QUILLON_WIDL_ARCH --win64)
endif()
find_path(QUILLON_STDOLE_DIR stdole2.tlb
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows
        /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/wine/i386-windows
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)

# quillon_typelib(<tlb> <idl> <import folder> [files the IDL imports...]): <tlb> from <idl>, whose
# imports are looked up in <import folder>.
function(quillon_typelib tlb idl import_dir)
  get_filename_component(name ${idl} NAME_WE)
  add_custom_command(
    OUTPUT ${tlb}
    COMMAND ${WIDL} ${QUILLON_WIDL_ARCH} -L ${QUILLON_STDOLE_DIR} -I ${import_dir} -t -o ${tlb} ${idl}
    DEPENDS ${idl} ${ARGN}
    COMMENT "Compiling the ${name} type library"
    VERBATIM)
endfunction()
