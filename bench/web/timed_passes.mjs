// The timing both sides of the web benchmark share: `passes` passes of
// track() over the frames in order after one uncounted warm-up pass, each
// from a reset tracker, timed over whole passes (the page's clock is
// coarse, 0.1 ms, for one frame). Counts the frames where pattern 0 has a
// pose.
export function timePasses(tracker, frames, passes) {
  let ms = 0, tracked = 0, found = 0;
  for (let pass = -1; pass < passes; pass++) {
    tracker.reset();
    let seen = 0;
    const a = performance.now();
    for (const frame of frames) {
      if (tracker.track(frame).some((m) => m.id === 0 && m.pose)) seen++;
    }
    const b = performance.now();
    if (pass < 0) continue;
    ms += b - a;
    tracked += frames.length;
    found += seen;
  }
  return { frames: tracked, found, ms_per_frame: ms / tracked, width: frames[0].width, height: frames[0].height };
}
