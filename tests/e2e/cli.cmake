# The command line: --version and --help answer and end; an unknown option is
# refused with the usage on standard error and exit code 2, not ignored.
add_test(NAME naviro_command_line
  COMMAND sh -c "$<TARGET_FILE:naviro> --version | grep -q '^naviro [0-9]' && \
$<TARGET_FILE:naviro> --help | grep -q '^Uso: naviro' && \
{ $<TARGET_FILE:naviro> --bogus 2>&1 >/dev/null | grep -q 'desconhecida: --bogus'; } && \
{ $<TARGET_FILE:naviro> --bogus 2>/dev/null; test $? -eq 2; }")
set_tests_properties(naviro_command_line PROPERTIES TIMEOUT 20)
