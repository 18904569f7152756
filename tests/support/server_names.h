// How the test server and the program under test name the same files. On
// Linux both use the same names. Under Wine (tests/wine/with_wine_server)
// the server is a native Linux process: the Windows program sees the
// server's folders through a drive letter, and reaches a database under
// its Windows name, which the server knows as an alias.
#pragma once

#include <cstdint>
#include <string>

namespace updater::testing {

// The program's name of the server's file or folder `server_path`. Throws
// std::runtime_error when it has none.
std::string ProgramPath(const std::string& server_path);

// Makes the server open the file `server_path` when a client asks for
// `program_path` (the same file under the program's name). On Linux there is
// nothing to do; under Wine an alias goes into databases.conf of the server's
// root, `program_root` (the program's name of it), unless it is there
// already. Throws std::runtime_error when the alias cannot be written.
void LetTheServerOpen(const std::string& program_path, const std::string& server_path,
                      const std::string& program_root);

// This test process's id, for names no other test process takes.
uint32_t TestProcessId();

}  // namespace updater::testing
