// The file a render goes to. The WAV writer fills a new file beside it, and
// that file takes the target's name only once the render is complete, so a
// run that fails, is interrupted or names the wrong file never destroys one.
#pragma once

#include <string>
#include <vector>

namespace zynplay {

// Why out cannot be rendered to, or "" when it can: it is one of the inputs
// (compared as files, so another path or a link to it counts), or it exists
// and force was not given.
std::string render_target_refusal(const std::string &out, const std::vector<std::string> &inputs, bool force);

class RenderTarget {
  public:
    RenderTarget(const std::string &out, bool force);
    ~RenderTarget();  // removes the temporary file unless committed
    RenderTarget(const RenderTarget &) = delete;
    RenderTarget &operator=(const RenderTarget &) = delete;

    // Creates the temporary file in the target's folder. False with a reason
    // when the folder does not take it.
    bool create(std::string &error);
    const std::string &temporary() const { return temporary_; }
    // Gives the temporary file the target's name. Without force an existing
    // file is never replaced, even one that appeared during the render; when
    // the name cannot be given the rendered file stays under its temporary
    // name, which error tells.
    bool commit(std::string &error);
    // Removes the temporary file; the target stays as it was.
    void discard();

  private:
    std::string target_;     // where the render ends up (a link's file, not the link)
    std::string temporary_;  // "" when none is held
    bool force_;
};

}  // namespace zynplay
