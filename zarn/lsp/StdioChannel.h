// Standard input and output as the server's channel to its client.
#pragma once

namespace zarn::lsp {

// Unties and unsyncs the C++ standard streams for bulk reads, and makes a
// write to a client that has gone fail (so that the server ends) instead of
// killing the process with a signal.
void prepareStandardStreams();

} // namespace zarn::lsp
