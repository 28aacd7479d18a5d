#!/usr/bin/python3
"""The window at twice the pixel density (QT_SCALE_FACTOR=2) beside the same window at 1:
the same layout at twice the size, with pictures, text and wizard drawn at the finer
resolution rather than enlarged, and the problem's gradient painted and erased."""

import sys

from driver import BACKDROP, Picture, check, check_equal, main, sharpness

# Points on the window's background, clear of every control, in the window's own pixels.
BACKGROUND_POINTS = ((100, 360), (700, 250))
# Pictures and text whose fine detail is compared, found by their accessible names.
DETAILED = (("image", "Sveglia"), ("label", "Risposte totali"), ("push button", "Esci"),
            ("push button", "Nuovo calcolo"))


def union(*rects):
    left, top = min(r[0] for r in rects), min(r[1] for r in rects)
    right, bottom = max(r[0] + r[2] for r in rects), max(r[1] + r[3] for r in rects)
    return left, top, right - left, bottom - top


def scaled(rect, factor):
    return tuple(factor * v for v in rect)


def look(desktop, args, scale):
    """Plays to the first problem at one scale; returns what the window looked like."""
    game = desktop.launch(args.binary, args.artifacts / f"data{scale}", env={"QT_SCALE_FACTOR": str(scale)},
                          tag=f"scale{scale}")
    window = game.start_game("Lucia")
    frame = game.main_window()
    client = next(c for c in frame if c.getRoleName() == "filler")
    origin = game.extents(frame)[:2]

    # The wizard speaking while the problem's gradient is on the window (no key typed yet).
    wizard = game.wizard()
    for _ in range(20):
        balloon = desktop.wait("the wizard to speak", game.balloon)
        shot = desktop.screenshot(args.artifacts / f"scale{scale}.png")
        if game.showing(balloon):
            break
    check(game.showing(balloon), "the word balloon never stayed up for a screenshot")

    seen = {"shot": shot, "window": desktop.geometry(window), "wizard": game.extents(wizard),
            "balloon": game.extents(balloon), "frame": game.extents(frame)}
    # Where every control on screen is, relative to the window, keyed by what it is: a
    # label that shows a value by its description alone (the clock moves on).
    layout = {}
    for control in game.find_showing(frame):
        x, y, w, h = game.extents(control)
        role = control.getRoleName()
        name = "" if role == "label" and control.description else control.name
        layout.setdefault((role, name, control.description), []).append((x - origin[0], y - origin[1], w, h))
    seen["layout"] = layout
    seen["detailed"] = {key: (x + origin[0], y + origin[1], w, h)
                        for key, [(x, y, w, h), *_] in layout.items() if key[:2] in DETAILED}

    cx, cy = game.extents(client)[:2]
    points = [(scale * (cx + x), scale * (cy + y)) for x, y in BACKGROUND_POINTS]
    picture = Picture(shot)
    seen["gradient"] = [picture.pixel(*p) for p in points]
    game.read_problem()
    cleared = Picture(desktop.screenshot(args.artifacts / f"scale{scale}-problem.png"))
    seen["cleared"] = [cleared.pixel(*p) for p in points]

    desktop.close_request(window)
    check_equal(game.wait_exit(), 0, "exit status")
    return seen


def hidpi(desktop, args):
    if args.docs:
        desktop.paint_background(BACKDROP)
    normal = look(desktop, args, 1)
    fine = look(desktop, args, 2)

    # Twice the size, the same layout.
    check_equal(fine["window"][2:], scaled(normal["window"][2:], 2), "window size in screen pixels at scale 2")
    moved = {key: (normal["layout"].get(key), fine["layout"].get(key))
             for key in normal["layout"].keys() | fine["layout"].keys()
             if normal["layout"].get(key) != fine["layout"].get(key)}
    check(not moved, f"controls placed differently at scale 1 and 2 (in the window's own pixels): {moved}")
    def in_window(seen):
        x, y, w, h = seen["wizard"]
        return x - seen["frame"][0], y - seen["frame"][1], w, h
    check_equal(in_window(fine), in_window(normal), "wizard's place in the window and size (in the window's own pixels)")

    # The gradient is painted behind the controls, then erased by the first key, at both scales.
    for seen in (normal, fine):
        plain = seen["cleared"][0]
        check(all(c == plain for c in seen["cleared"]), f"background after the first key: {seen['cleared']}")
        check(all(c != plain for c in seen["gradient"]), f"no gradient behind the problem: {seen['gradient']}")

    # Each picture holds detail that an enlarged picture would not.
    work = args.artifacts
    regions = {f"{role} {name}": rect for (role, name, _), rect in fine["detailed"].items()}
    regions["wizard"] = fine["wizard"]
    normal_regions = {f"{role} {name}": rect for (role, name, _), rect in normal["detailed"].items()}
    normal_regions["wizard"] = normal["wizard"]
    check_equal(sorted(regions), sorted([f"{r} {n}" for r, n in DETAILED] + ["wizard"]), "regions found")
    for what, rect in regions.items():
        slug = what.replace(" ", "-")
        fine_crop = desktop.crop(fine["shot"], scaled(rect, 2), work / f"{slug}-2.png")
        normal_crop = desktop.crop(normal["shot"], normal_regions[what], work / f"{slug}-1.png")
        enlarged = desktop.enlarge(normal_crop, work / f"{slug}-1-enlarged.png")
        ours, reference = sharpness(fine_crop, work), sharpness(enlarged, work)
        detail = Picture(fine_crop).detail_beyond_doubling()
        print(f"{what}: sharpness {ours:.3f} against {reference:.3f} enlarged; detail {detail:.2f}")
        check(ours > 1.5 * reference, f"{what} at scale 2 is no sharper than enlarged ({ours:.3f}, {reference:.3f})")
        check(detail > 0.01, f"{what} at scale 2 looks pixel-doubled ({detail:.2f})")

    if args.docs:
        area = union(fine["window"], scaled(fine["wizard"], 2), scaled(fine["balloon"], 2))
        desktop.crop(fine["shot"], area, f"{args.docs}/hidpi.png")


if __name__ == "__main__":
    sys.exit(main(hidpi, screen="2560x2048"))
