# Strict warnings for our own targets only; third-party headers come in as system includes.
function(quotabar_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow=local
                         -Wnon-virtual-dtor -Wimplicit-fallthrough)
  if(QUOTABAR_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(QUOTABAR_SANITIZE)
    # GCC 12's flow analysis reports std::optional<QString> as maybe-uninitialized once
    # instrumented (a false positive the plain build does not show).
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                           -fno-sanitize-recover=undefined -Wno-maybe-uninitialized)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()
