// The routine-slot fill of ZYN_INIT: one column of kernels per channel count.
#include "lifecycle.h"
#include "master_stage.h"
#include "pitch_shift.h"
#include "zyn.h"
#include "zyn_kernels.h"

namespace zyn {

void fill_routine_slots(RoutineSlots &slots, int32_t channels) {
    const bool mono = channels == 1;
    slots.kernel_mix = MIX16;
    slots.kernel_scale = SCALE16;
    slots.kernel_pan = mono ? nullptr : PAN16;
    slots.kernel_copy_right = mono ? COPYRIGHT16 : COPYRIGHT32;
    slots.kernel_move_right = mono ? MOVERIGHT16 : MOVERIGHT32;
    slots.kernel_copy_slice_right = mono ? COPYSLICERIGHT16 : COPYSLICERIGHT32;
    slots.kernel_move_slice_right = mono ? MOVESLICERIGHT16 : MOVESLICERIGHT32;
    slots.kernel_copy_slice_left = mono ? COPYSLICELEFT16 : COPYSLICELEFT32;
    slots.kernel_move_slice_left = mono ? MOVESLICELEFT16 : MOVESLICELEFT32;
    slots.kernel_copy_slice_mp3_frame = mono ? COPYSLICEMP3FRAME16 : COPYSLICEMP3FRAME32;
    slots.kernel_scale_mp3_frame_stereo = mono ? SCALEMP3FRAME_21_16 : SCALEMP3FRAME_22_16;
    slots.kernel_scale_mp3_frame_mono = mono ? SCALEMP3FRAME_11_16 : SCALEMP3FRAME_12_16;
    slots.master_filter_routine = mono ? filter_mono : filter_stereo;
    slots.pitch_shift_routine = mono ? pitch_shift_mono : pitch_shift_stereo;
}

}  // namespace zyn
