# The ComPtr trap check fails on a file with each trap and passes the ways
# that replace them. Usage: cmake -DCHECK=comptr_traps.pl -DWORK=dir -P comptr_traps_test.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(header "#include <wrl/client.h>\nusing Microsoft::WRL::ComPtr;\nHRESULT Fetch(IUnknown** out);\n")
file(WRITE ${WORK}/holder.h "${header}struct Holder {\n  ComPtr<IUnknown> member;\n};\n")
file(WRITE ${WORK}/attach.cpp "${header}void Take(IUnknown* raw) {\n  ComPtr<IUnknown> held;\n  held.Attach(raw);\n}\n")
file(WRITE ${WORK}/address_of_variable.cpp "${header}void Get() {\n  ComPtr<IUnknown> local;\n  Fetch(&local);\n}\n")
file(WRITE ${WORK}/address_of_member.cpp
  "#include \"holder.h\"\nvoid Get(Holder* holder) {\n  Fetch(&holder->member);\n}\n")
file(WRITE ${WORK}/clean.cpp "#include \"holder.h\"
// Neither holder.member.Attach(raw) nor Fetch(&local) in a comment counts.
void Get(Holder& holder, IUnknown* raw, ComPtr<IUnknown>& other) {
  ComPtr<IUnknown> local;
  Fetch(local.GetAddressOf());
  Fetch(holder.member.ReleaseAndGetAddressOf());
  other.As(&local);
  int value = 0;
  int* pointer = &value;
  const bool both = pointer && raw;
  (void)both;
}
")

function(expect file code pattern)
  execute_process(COMMAND perl ${CHECK} ${WORK}/${file} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL code OR NOT out MATCHES "${pattern}")
    message(FATAL_ERROR "${file}: exit ${rc} (expected ${code}), output:\n${out}")
  endif()
  message(STATUS "${file}: ${out}")
endfunction()

expect(attach.cpp 1 "attach.cpp:6: ComPtr 'held': Attach adds a reference of its own")
expect(address_of_variable.cpp 1 "address_of_variable.cpp:6: ComPtr '&local': '&' releases what the ComPtr holds")
expect(address_of_member.cpp 1 "address_of_member.cpp:3: ComPtr '&holder->member': '&' releases")
expect(clean.cpp 0 "^$")
