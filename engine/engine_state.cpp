#include "engine_state.h"

#include "plugin_host.h"

namespace zyn {

namespace {

EngineState *make_engine() {
    auto *state = new EngineState();
    state->plug_path = default_plug_path();
    return state;
}

}  // namespace

EngineState &engine() {
    static EngineState *const state = make_engine();
    return *state;
}

PlugoutRecord *open_plugout() {
    EngineState &e = engine();
    if (e.rendering.load(std::memory_order_relaxed)) return &e.render_record;
    if (e.plugout_index < 0 || e.plugout_index >= e.plugout_count) return nullptr;
    return &e.plugouts[static_cast<size_t>(e.plugout_index)];
}

}  // namespace zyn
