#!/usr/bin/env python3
"""Write a stand-in for a published whisper.cpp model: its exact shapes, random weights.

whisper.cpp's load and compute cost depends on a model's hyper-parameters and tensor types,
not on its weights, so a file with the published shapes times the recogniser as the real
model would, without the download.  The weights are noise except a few planted values that
steer the decoder to emit the words of --text, one token per word, then end-of-text,
whatever the audio: whisper-cli prints that text and exits 0 after as many decoder steps as
a real dictation of that many words.  The same seed gives the same bytes.
    make-whisper-model.py NAME OUT.bin [--text " i think i'm done"] [--seed N]
    make-whisper-model.py NAME --size        (the byte size it would write)
    make-whisper-model.py --list             (the names, with published sizes where known)
NAME is a published model name: tiny, base, small, medium, large-v3, large-v3-turbo, each
optionally followed by -q5_0, -q5_1 or -q8_0.  Python >= 3.9, standard library only.
Checked against whisper.cpp 1.9.1 (whisper-cli -m OUT.bin -f x.wav -nt -np).
"""
import argparse
import random
import re
import struct
import sys

# name: mels, audio state/heads/layers, text state/heads/layers, vocabulary (published)
SHAPES = {
    "tiny": (80, 384, 6, 4, 384, 6, 4, 51865),
    "base": (80, 512, 8, 6, 512, 8, 6, 51865),
    "small": (80, 768, 12, 12, 768, 12, 12, 51865),
    "medium": (80, 1024, 16, 24, 1024, 16, 24, 51865),
    "large-v3": (128, 1280, 20, 32, 1280, 20, 32, 51866),
    "large-v3-turbo": (128, 1280, 20, 32, 1280, 20, 4, 51866),
}
N_AUDIO_CTX, N_TEXT_CTX, N_FFT_BINS = 1500, 448, 201
# Byte sizes of the published files, where known; a stand-in of these has the same size.
PUBLISHED_BYTES = {
    "large-v3-turbo": 1624555275,
    "large-v3-turbo-q5_0": 574041195,
    "large-v3": 3095033483,
}

T_F32, T_F16, T_Q5_0, T_Q5_1, T_Q8_0 = 0, 1, 6, 7, 8     # ggml tensor type ids
# suffix -> (header ftype as whisper.cpp's quantizer writes it, type of the big matrices)
FTYPES = {"": (1, T_F16), "q5_0": (2008, T_Q5_0), "q5_1": (2009, T_Q5_1), "q8_0": (2007, T_Q8_0)}
BLOCK = {T_Q5_0: 22, T_Q5_1: 24, T_Q8_0: 34}              # bytes per 32 values

# The multilingual vocabulary: 50257 text tokens in the file (whisper.cpp names the special
# ones itself).  Real files hold the tokenizer's byte strings; the dummy words here add up
# to the same total, so stand-ins of the published files match their sizes to the byte.
N_TEXT_TOKENS = 50257
VOCAB_TEXT_BYTES = 307057
EOT = 50257
SPACE = 220          # whisper.cpp looks up a " " token by its text and aborts if absent
FIRST_WORD = 1000    # the words of --text get the ids from here on
PROMPT = 4           # start-of-transcript, language, task, no-timestamps

# Steering.  The decoder's residual stream at position p is its input token's embedding
# plus positional embedding p (the blocks add next to nothing: their output projections are
# tiny).  Positional embedding p is G * d(slot), where slot p - (PROMPT - 1) is the index of
# the word to emit next (capped at the end-of-text slot) and d(k) is the zero-mean unit
# direction (e[2k] - e[2k+1]) / sqrt(2).  After the final norm the state points along
# d(slot); the token to emit there has the embedding A * d(slot) (the embeddings double as
# the output projection), a logit near A * sqrt(width), far above the noise tokens' few
# units, so every step is certain and whisper.cpp never falls back to sampling.
G, A = 1000.0, 8.0
R2 = 2 ** -0.5


def i32(*vals):
    return struct.pack("<%di" % len(vals), *vals)


def parse_name(name):
    m = re.fullmatch(r"(.+?)(?:-(q5_0|q5_1|q8_0))?", name)
    if not m or m.group(1) not in SHAPES:
        return None
    return m.group(1), m.group(2) or ""


def words_of(text):
    """The text split into tokens of one word each, leading blanks kept with the word."""
    return re.findall(r"\s*\S+\s*$|\s*\S+", text) or [text]


def f16(x):
    return struct.pack("<e", x)


class Noise:
    """Pools of random tensor bytes, drawn from with a rotating offset: making every byte
    afresh would take minutes for the large models, and the cost being measured does not
    depend on the values."""

    POOL = 1 << 24

    def __init__(self, rng):
        self.rng = rng
        self.pools = {}
        self.offsets = {}

    def pool(self, ttype, tiny):
        key = (ttype, tiny)
        if key not in self.pools:
            self.pools[key] = self.make(ttype, tiny)
            self.offsets[key] = 0
        return key

    def make(self, ttype, tiny):
        if ttype == T_F16:
            # high byte s eeeee mm: |value| in [2^(e-15), 2^(e-14)); tiny ~1e-4, else ~0.04
            e = 1 if tiny else 10
            fix = bytes((b & 0x83) | (e << 2) for b in range(256))
            data = bytearray(self.rng.randbytes(self.POOL))
            data[1::2] = data[1::2].translate(fix)
            return bytes(data)
        if ttype == T_F32:
            # s eeeeeeee m...: the exponent fixed at 2^-4, |value| in [1/16, 1/8)
            data = bytearray(self.rng.randbytes(self.POOL))
            data[3::4] = data[3::4].translate(bytes((b & 0x80) | 0x3D for b in range(256)))
            data[2::4] = data[2::4].translate(bytes(b | 0x80 for b in range(256)))
            return bytes(data)
        size = BLOCK[ttype]
        nb = self.POOL // size
        data = bytearray(self.rng.randbytes(nb * size))
        d = f16(2.0 ** (-14 if tiny else (-11 if ttype == T_Q8_0 else -9)))
        data[0::size], data[1::size] = d[:1] * nb, d[1:] * nb
        if ttype == T_Q5_1:                     # offset m = -16 d: values centred on 0
            m = f16(-16 * struct.unpack("<e", d)[0])
            data[2::size], data[3::size] = m[:1] * nb, m[1:] * nb
        if ttype == T_Q8_0 and tiny:            # int8 quants in -4..3
            small = bytes(((b & 7) - 4) & 0xFF for b in range(256))
            for j in range(2, size):
                data[j::size] = data[j::size].translate(small)
        return bytes(data)

    def take(self, ttype, nbytes, tiny=False):
        key = self.pool(ttype, tiny)
        pool = self.pools[key]
        unit = BLOCK.get(ttype, 4 if ttype == T_F32 else 2)
        out = []
        while nbytes > 0:
            off = self.offsets[key]
            n = min(nbytes, len(pool) - len(pool) % unit - off)
            out.append(pool[off:off + n])
            nbytes -= n
            self.offsets[key] = (off + n) % (len(pool) - len(pool) % unit)
        return b"".join(out)


def quantize(vals, ttype):
    """Pack floats (a multiple of 32) as f16 or a ggml block type."""
    if ttype == T_F16:
        return struct.pack("<%de" % len(vals), *vals)
    out = bytearray()
    for k in range(0, len(vals), 32):
        blk = vals[k:k + 32]
        if ttype == T_Q8_0:
            amax = max(abs(x) for x in blk)
            d = amax / 127 or 1.0
            out += f16(d) + bytes((round(x / d) & 0xFF) for x in blk)
            continue
        if ttype == T_Q5_0:
            big = max(blk, key=abs)
            d = big / -16 or 1.0
            q = [min(31, max(0, round(x / d) + 16)) for x in blk]
            head = f16(d)
        else:
            lo, hi = min(blk), max(blk)
            d = (hi - lo) / 31 or 1.0
            q = [min(31, max(0, round((x - lo) / d))) for x in blk]
            head = f16(d) + f16(lo)
        qh = sum(((q[j] >> 4) & 1) << j for j in range(32))
        out += head + struct.pack("<I", qh) + bytes((q[j] & 15) | (q[j + 16] & 15) << 4 for j in range(16))
    return out


def tensor_bytes(ttype, n):
    if ttype in BLOCK:
        return n // 32 * BLOCK[ttype]
    return n * (4 if ttype == T_F32 else 2)


class Model:
    def __init__(self, name, text, seed):
        shape, suffix = parse_name(name)
        (self.n_mels, self.n_audio, self.n_audio_head, self.n_audio_layer,
         self.n_text, self.n_text_head, self.n_text_layer, self.n_vocab) = SHAPES[shape]
        self.file_ftype, self.mtype = FTYPES[suffix]
        self.words = words_of(text)
        if 2 * (len(self.words) + 1) > self.n_text:
            raise ValueError("too many words for the model width")
        self.rng = random.Random(seed)
        self.noise = Noise(self.rng)

    # --- the tensor list, in the order the published files hold it -------------------
    def tensors(self):
        """(name, dims fastest-varying first, type, kind) for every tensor."""
        na, nt, mt = self.n_audio, self.n_text, self.mtype
        out = [("encoder.positional_embedding", [na, N_AUDIO_CTX], T_F32, "noise"),
               ("encoder.conv1.weight", [3, self.n_mels, na], T_F16, "noise"),
               ("encoder.conv1.bias", [1, na], T_F32, "bias"),
               ("encoder.conv2.weight", [3, na, na], T_F16, "noise"),
               ("encoder.conv2.bias", [1, na], T_F32, "bias")]
        for i in range(self.n_audio_layer):
            out += self.block("encoder.blocks.%d" % i, na, cross=False)
        out += [("encoder.ln_post.weight", [na], T_F32, "scale"),
                ("encoder.ln_post.bias", [na], T_F32, "bias"),
                ("decoder.positional_embedding", [nt, N_TEXT_CTX], T_F32, "steer"),
                ("decoder.token_embedding.weight", [nt, self.n_vocab], mt, "embed")]
        for i in range(self.n_text_layer):
            out += self.block("decoder.blocks.%d" % i, nt, cross=True)
        out += [("decoder.ln.weight", [nt], T_F32, "scale"),
                ("decoder.ln.bias", [nt], T_F32, "bias")]
        return out

    def block(self, prefix, n, cross):
        # Decoder blocks write next to nothing into the residual stream (see Steering).
        outk = "tiny" if cross else "noise"
        t = []
        for a in (["attn", "cross_attn"] if cross else ["attn"]):
            p = "%s.%s." % (prefix, a)
            t += [(p + "query.weight", [n, n], self.mtype, "noise"), (p + "query.bias", [n], T_F32, "bias"),
                  (p + "key.weight", [n, n], self.mtype, "noise"),
                  (p + "value.weight", [n, n], self.mtype, "noise"), (p + "value.bias", [n], T_F32, "bias"),
                  (p + "out.weight", [n, n], self.mtype, outk), (p + "out.bias", [n], T_F32, "bias"),
                  ("%s.%s_ln.weight" % (prefix, a), [n], T_F32, "scale"),
                  ("%s.%s_ln.bias" % (prefix, a), [n], T_F32, "bias")]
        return t + [(prefix + ".mlp.0.weight", [n, 4 * n], self.mtype, "noise"),
                    (prefix + ".mlp.0.bias", [4 * n], T_F32, "bias"),
                    (prefix + ".mlp.2.weight", [4 * n, n], self.mtype, outk),
                    (prefix + ".mlp.2.bias", [n], T_F32, "bias"),
                    (prefix + ".mlp_ln.weight", [n], T_F32, "scale"),
                    (prefix + ".mlp_ln.bias", [n], T_F32, "bias")]

    # --- sizes ---------------------------------------------------------------------------
    def vocabulary(self):
        """The text of every file token: the words, " ", and dummies filling the total."""
        fixed = {FIRST_WORD + j: w.encode() for j, w in enumerate(self.words)}
        fixed[SPACE] = b" "
        rest = N_TEXT_TOKENS - len(fixed)
        budget = max(VOCAB_TEXT_BYTES - sum(len(w) for w in fixed.values()), 2 * rest)
        per, extra = divmod(budget, rest)
        out, k = [], 0
        for i in range(N_TEXT_TOKENS):
            if i in fixed:
                out.append(fixed[i])
                continue
            size = per + (1 if k < extra else 0)
            k += 1
            word = dummy_word(i)
            out.append((word + "x" * size)[:size].encode() if len(word) <= size else word.encode())
        return out

    def size(self):
        n = 4 + 11 * 4 + 8 + 4 * self.n_mels * N_FFT_BINS + 4
        n += sum(4 + len(w) for w in self.vocabulary())
        for name, dims, ttype, _ in self.tensors():
            count = 1
            for d in dims:
                count *= d
            n += 12 + 4 * len(dims) + len(name) + tensor_bytes(ttype, count)
        return n

    # --- writing -------------------------------------------------------------------------
    def write(self, f):
        f.write(struct.pack("<I", 0x67676D6C))
        f.write(i32(self.n_vocab, N_AUDIO_CTX, self.n_audio, self.n_audio_head, self.n_audio_layer,
                    N_TEXT_CTX, self.n_text, self.n_text_head, self.n_text_layer, self.n_mels,
                    self.file_ftype))
        f.write(i32(self.n_mels, N_FFT_BINS))
        f.write(struct.pack("<%df" % (self.n_mels * N_FFT_BINS),
                            *(self.rng.random() * 0.02 for _ in range(self.n_mels * N_FFT_BINS))))
        vocab = self.vocabulary()
        f.write(i32(len(vocab)))
        f.write(b"".join(struct.pack("<I", len(w)) + w for w in vocab))
        for name, dims, ttype, kind in self.tensors():
            raw = name.encode()
            f.write(i32(len(dims), len(raw), ttype) + i32(*dims) + raw)
            f.write(self.data(dims, ttype, kind))

    def data(self, dims, ttype, kind):
        count = 1
        for d in dims:
            count *= d
        if kind == "scale":
            return struct.pack("<%df" % count, *(1.0 + self.rng.gauss(0, 0.05) for _ in range(count)))
        if kind == "bias":
            return struct.pack("<%df" % count, *(self.rng.gauss(0, 0.02) for _ in range(count)))
        if kind == "steer":
            pe = bytearray(self.noise.take(T_F32, 4 * count))
            slots = len(self.words)                   # the last slot is end-of-text
            for pos in range(N_TEXT_CTX):
                k = min(max(pos - (PROMPT - 1), 0), slots)
                base = 4 * (pos * self.n_text + 2 * k)
                struct.pack_into("<2f", pe, base, G * R2, -G * R2)
            return bytes(pe)
        if kind == "embed":
            step = tensor_bytes(ttype, self.n_text)
            emb = bytearray(self.noise.take(ttype, step * self.n_vocab))
            rows = {FIRST_WORD + k: k for k in range(len(self.words))}
            rows[EOT] = len(self.words)
            for token, k in rows.items():
                row = [0.0] * self.n_text
                row[2 * k], row[2 * k + 1] = A * R2, -A * R2
                emb[token * step:(token + 1) * step] = quantize(row, ttype)
            return bytes(emb)
        return self.noise.take(ttype, tensor_bytes(ttype, count), tiny=(kind == "tiny"))


def dummy_word(i):
    """Unique plain-ASCII text for token i: ' a', ' b', ..., ' z', ' aa', ..."""
    s = ""
    i += 1
    while i:
        i, r = divmod(i - 1, 26)
        s = chr(97 + r) + s
    return " " + s


def names():
    return [s + ("-" + q if q else "") for s in SHAPES for q in ("", "q5_0", "q5_1", "q8_0")]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("name", nargs="?", help="published model name, e.g. large-v3-turbo-q5_0")
    ap.add_argument("out", nargs="?")
    ap.add_argument("--text", default=" i think i'm done", help="the transcript, one token per word")
    ap.add_argument("--seed", type=int, default=0)
    ap.add_argument("--size", action="store_true", help="print the byte size instead of writing")
    ap.add_argument("--list", action="store_true", help="print the names and published sizes")
    a = ap.parse_args()
    if a.list:
        for n in names():
            print(n, Model(n, a.text, a.seed).size(), PUBLISHED_BYTES.get(n, "-"))
        return
    if not a.name or not parse_name(a.name):
        ap.error("NAME must be one of: " + ", ".join(names()))
    try:
        model = Model(a.name, a.text, a.seed)
    except ValueError as e:
        ap.error(str(e))
    if a.size:
        print(model.size())
        return
    if not a.out:
        ap.error("OUT is required unless --size or --list is given")
    with open(a.out, "wb") as f:
        model.write(f)
        if f.tell() != model.size():
            sys.exit("internal error: wrote %d bytes, expected %d" % (f.tell(), model.size()))


if __name__ == "__main__":
    main()
