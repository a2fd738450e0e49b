// What the engine asks of the host, so that it never reaches into the plug-in layer.
#pragma once

namespace engine {

class HostPrompts {
 public:
  // Asks for an album password with a masked entry. The answer goes into buffer (size
  // bytes, empty on entry, always terminated). False when the user cancelled.
  virtual bool AskPassword(char* buffer, int size) = 0;

 protected:
  ~HostPrompts() = default;
};

}  // namespace engine
