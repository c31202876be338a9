// The vector loops, written once over a small set of lane operations (Ops) that the SSE2 and
// AVX2 translation units each provide. Included only by those two files.

namespace {

template <class Ops, int Blend>
typename Ops::V BlendLanes(typename Ops::V s, typename Ops::V o) {
    if constexpr (Blend == 1) {
        return Ops::srli16(Ops::add16(s, o), 1);
    } else if constexpr (Blend == 2) {
        return Ops::srli16(Ops::add16(s, Ops::add16(o, Ops::add16(o, o))), 2);
    } else {
        return Ops::srli16(Ops::add16(s, Ops::sub16(Ops::slli16(o, 3), o)), 3);
    }
}

// v = c * o - n * (up + down + left + right) fits 16-bit lanes (-5100 .. 5355); the unsigned
// saturating pack clamps it to 0 .. 255.
template <class Ops, int Blend>
size_t SharpenLoop(const SharpenArgs& a) {
    using V = typename Ops::V;
    const V zero = Ops::zero();
    const V vc = Ops::set16(int16_t(a.c));
    const V vn = Ops::set16(int16_t(a.n));
    const size_t step = Ops::kPixels;
    size_t i = a.begin;
    for (; i + step <= a.end; i += step) {
        const uint32_t* at = a.p + i;
        const V o = Ops::load(at);
        const V up = Ops::load(at + a.w);
        const V down = Ops::load(at - a.w);
        const V left = Ops::load(at - 1);
        const V right = Ops::load(at + 1);
        const V oLo = Ops::lo8(o, zero);
        const V oHi = Ops::hi8(o, zero);
        const V sumLo = Ops::add16(Ops::add16(Ops::lo8(up, zero), Ops::lo8(down, zero)),
                                   Ops::add16(Ops::lo8(left, zero), Ops::lo8(right, zero)));
        const V sumHi = Ops::add16(Ops::add16(Ops::hi8(up, zero), Ops::hi8(down, zero)),
                                   Ops::add16(Ops::hi8(left, zero), Ops::hi8(right, zero)));
        V s = Ops::packus(Ops::sub16(Ops::mul16(oLo, vc), Ops::mul16(sumLo, vn)),
                          Ops::sub16(Ops::mul16(oHi, vc), Ops::mul16(sumHi, vn)));
        if constexpr (Blend != 0) {
            s = Ops::packus(BlendLanes<Ops, Blend>(Ops::lo8(s, zero), oLo),
                            BlendLanes<Ops, Blend>(Ops::hi8(s, zero), oHi));
        }
        Ops::store(a.out + i, s);
    }
    return i;
}

template <class Ops>
size_t SharpenAny(const SharpenArgs& a) {
    switch (a.blend) {
        case 0:
            return SharpenLoop<Ops, 0>(a);
        case 1:
            return SharpenLoop<Ops, 1>(a);
        case 2:
            return SharpenLoop<Ops, 2>(a);
        default:
            return SharpenLoop<Ops, 3>(a);
    }
}

// (t - 128) * factor stays within 16 bits for factor <= 193 (normal) or <= 64 (steep).
template <class Ops>
size_t ToneLoop(const ToneArgs& a) {
    using V = typename Ops::V;
    const V zero = Ops::zero();
    const V vb = Ops::set16(int16_t(a.b));
    const V v128 = Ops::set16(128);
    const V vf = Ops::set16(int16_t(a.factor));
    const V keep = Ops::set32(0x00FFFFFF);
    auto tone = [&](V t) {
        const V centred = Ops::mul16(Ops::sub16(t, v128), vf);
        return Ops::add16(a.steep ? centred : Ops::srai16(centred, 7), v128);
    };
    const size_t step = Ops::kPixels;
    size_t i = a.begin;
    for (; i + step <= a.end; i += step) {
        const V x = Ops::load(a.p + i);
        V t = Ops::packus(Ops::add16(Ops::lo8(x, zero), vb), Ops::add16(Ops::hi8(x, zero), vb));
        if (a.contrast) {
            t = Ops::packus(tone(Ops::lo8(t, zero)), tone(Ops::hi8(t, zero)));
        }
        Ops::store(a.p + i, Ops::and_(t, keep));
    }
    return i;
}

}  // namespace
