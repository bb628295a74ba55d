// The state of one compilation, shared by the compiler stages.
//
// Every work area, table and cursor of the stages (source table, report,
// event records, reader, macro frames, track state, attribute, loop and
// phase tables, track stream and song image) is a part of one
// CompilationParts. A compilation binds its parts to the calling thread for
// the time it runs (BoundCompilation); each stage reaches its own part
// through CompilationPartOf, which creates the part on first use. Two
// compilations on two threads therefore never share anything. When no
// compilation is bound, the stages work on the parts of the default
// compilation (the one behind SetUpCompiler, CompileScore and
// ReleaseCompiler), so a stage can also be driven on its own, as the unit
// tests do.
//
// Internal to the compiler: callers use Compilation (driver.h).
#ifndef QUERN_COMPILER_DRIVER_COMPILATION_H_
#define QUERN_COMPILER_DRIVER_COMPILATION_H_

enum CompilationPart : int {
  kPartDriver,
  kPartReport,
  kPartSongImage,
  kPartStream,
  kPartEvents,
  kPartReader,
  kPartMacros,
  kPartCommands,
  kPartAttributes,
  kPartLoops,
  kPartPhases,
  kPartCount
};

struct CompilationParts {
  CompilationParts() = default;
  CompilationParts(const CompilationParts&) = delete;
  CompilationParts& operator=(const CompilationParts&) = delete;
  ~CompilationParts();

  void* parts[kPartCount] = {};
  void (*destroy[kPartCount])(void*) = {};
};

namespace compilation_internal {
// The parts bound to this thread, or nullptr for the default compilation's.
// constinit: read directly, with no per-access check for initialisation.
extern constinit thread_local CompilationParts* bound_parts;
CompilationParts& DefaultParts();

template <typename T>
[[gnu::noinline]] T& CreatePart(CompilationParts& parts, CompilationPart part) {
  T* created = new T();
  parts.parts[part] = created;
  parts.destroy[part] = [](void* p) { delete static_cast<T*>(p); };
  return *created;
}
}  // namespace compilation_internal

// The part of the compilation bound to this thread, created on first use.
// The stages call this on every step, so the common case stays inline.
template <typename T>
inline T& CompilationPartOf(CompilationPart part) {
  CompilationParts* parts = compilation_internal::bound_parts;
  if (parts == nullptr) [[unlikely]] {
    parts = &compilation_internal::DefaultParts();
  }
  void* slot = parts->parts[part];
  if (slot == nullptr) [[unlikely]] {
    return compilation_internal::CreatePart<T>(*parts, part);
  }
  return *static_cast<T*>(slot);
}

// Binds parts to the calling thread while the object lives; the binding it
// replaced comes back afterwards, so bindings nest.
class BoundCompilation {
 public:
  explicit BoundCompilation(CompilationParts& parts)
      : previous_(compilation_internal::bound_parts) {
    compilation_internal::bound_parts = &parts;
  }
  ~BoundCompilation() { compilation_internal::bound_parts = previous_; }
  BoundCompilation(const BoundCompilation&) = delete;
  BoundCompilation& operator=(const BoundCompilation&) = delete;

 private:
  CompilationParts* previous_;
};

#endif  // QUERN_COMPILER_DRIVER_COMPILATION_H_
