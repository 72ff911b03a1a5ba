// exitpoll.exe's start-up around stand-ins for the applet: globals that print when they
// are constructed and destroyed, to standard output.
#pragma once

struct Tracer {
  explicit Tracer(const char* name);
  ~Tracer();
  const char* Name;
};

void Say(const char* sign, const char* name);
