// The wait for blocking work (a call to the application server), one of the host
// services (ui/services.h). It sits below the component runtime so that the server
// connection, which does not link the runtime's user interface, can reach it.
//
// Screens call the server synchronously. A host with a window runs the work on a worker
// thread and keeps painting (its animation turns, its windows repaint) without taking
// user input until the work ends; with no host installed the work runs inline.
#pragma once

#include <functional>
#include <string>

namespace rt {

class IBlockingWait {
 public:
  virtual ~IBlockingWait() = default;
  // Runs `work` to its end before returning; an exception of the work reaches the
  // caller. `what` tells the user what is awaited when the wait grows long
  // ("Aguardando o servidor (GetAlocaForne)…").
  virtual void Wait(const std::string& what, const std::function<void()>& work) = 0;
};

// Installing nullptr puts the inline default back.
void InstallBlockingWait(IBlockingWait* wait);
IBlockingWait& BlockingWait();

}  // namespace rt
