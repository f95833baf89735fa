#!/usr/bin/env python3
"""Handling failures: the library's result codes arrive as kaDriver.error
with (code, text); faulty arguments are refused before the library is
called, with TypeError or OverflowError; a transfer's own code in "Errno"
gets its name and text from tarvex.result, and tarvex.check raises it."""

import kaDriver as K
import tarvex


def main():
    try:
        K.kaQueryNumberDevices()
    except K.error as error:
        code, text = error.args
        print(f"before kaOpen: error {code}: {text}")

    K.kaOpen(K.KA_OPEN_NO_FLAGS)
    try:
        try:
            K.kaQueryNameDevice(99)
        except K.error as error:
            print(f"no device 99: error {error.args[0]}: {error.args[1]}")

        transfers = [dict(Device=0, Subdevice=0, Channel=0, Dir=K.KA_DIR_INPUT, Value=0,
                          TimeOut=0, Flags=0)]  # "Errno" is missing
        try:
            K.kaIOSingle(transfers, K.KA_IO_SINGLE_NO_FLAGS)
        except TypeError as error:
            print(f"refused before the library was called: {error}")

        transfers[0].update(Errno=0, Channel=2**40)
        try:
            K.kaIOSingle(transfers, K.KA_IO_SINGLE_NO_FLAGS)
        except OverflowError as error:
            print(f"refused before the library was called: {error}")

        # A fault of one transfer does not fail the batch: it lands in its "Errno".
        transfers[0]["Channel"] = 99
        K.kaIOSingle(transfers, K.KA_IO_SINGLE_NO_FLAGS)
        print(f"channel 99 of the analog input: Errno {tarvex.result(transfers[0]['Errno'])}")
        try:
            tarvex.check(transfers)
        except K.error as error:
            print(f"tarvex.check raised it: {error}")
    finally:
        K.kaClose(K.KA_CLOSE_NO_FLAGS)


if __name__ == "__main__":
    main()
