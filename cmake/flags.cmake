# Compiler flags shared by every target.
# Texts are GBK bytes: sources are UTF-8, string literals are stored as GBK.
add_compile_options(-finput-charset=UTF-8 -fexec-charset=GBK -Wall -Wextra -Wno-unused-parameter)

if(MV_TARGET_WINDOWS)
  # XP-compatible headers: anything newer is resolved at run time.
  add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501 _WIN32_IE=0x0600 NOMINMAX WIN32_LEAN_AND_MEAN)
  # Static runtime: no mingw DLLs next to the exe.
  add_link_options(-static -static-libgcc -static-libstdc++)
else()
  option(MV_SANITIZE "Build native code with ASan and UBSan" ON)
  if(MV_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
  elseif(MV_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
  endif()
  find_package(Threads REQUIRED)
  link_libraries(Threads::Threads)
endif()
