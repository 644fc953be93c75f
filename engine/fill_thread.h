// Whether the calling thread is inside a fill: the mixer and every callback
// it makes run there. Operations that would free, allocate, block on files
// or join threads the running mix depends on ask this first and are refused
// or deferred.
#pragma once

namespace zyn {

bool inside_fill();

// Marks the calling thread as inside a fill for its lifetime (the mixer).
class FillScope {
  public:
    FillScope();
    ~FillScope();
    FillScope(const FillScope &) = delete;
    FillScope &operator=(const FillScope &) = delete;
};

}  // namespace zyn
