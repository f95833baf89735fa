#!/usr/bin/env python3
"""Single values on the simulated PCI board: write an analog output, read it
back on the analog input wired to it, and toggle a digital port that is
looped back to a second port. With kaDriver's own calls only, to show the
module itself: plain dictionaries, constants, the library's conversions."""

import kaDriver as K

BOARD = 0
AI, AO, PORT_A, PORT_B = 0, 1, 2, 3  # subdevices; port B reads port A's lines
LOOPED_AI_CHANNEL = 2                # wired to analog output channel 0


def transfer(subdevice, channel, direction, value=0, flags=K.KA_IO_SINGLE_TYPE_NO_FLAGS):
    return dict(Device=BOARD, Subdevice=subdevice, Channel=channel, Dir=direction,
                Value=value, TimeOut=0, Flags=flags, Errno=0)


def volts_to_digital(volts, device, subdevice, range_index):
    _, low, high, max_data = K.kaQueryRangeInfo(device, subdevice, range_index)
    return K.kaUtilityPhysicalToDigital(low, high, max_data, volts)


def digital_to_volts(digital, device, subdevice, range_index):
    _, low, high, max_data = K.kaQueryRangeInfo(device, subdevice, range_index)
    return K.kaUtilityDigitalToPhysical(low, high, max_data, digital,
                                        K.KA_MODULE_TYPE_VESTRA_NONE, 0.0)


def main():
    K.kaOpen(K.KA_OPEN_NO_FLAGS)
    try:
        K.kaIOSingleConfig(BOARD, AO, 0, 0, K.KA_REF_AO_GROUND, K.KA_TRIG_CHAN_DEFAULT,
                           K.KA_TRIG_TYPE_SW, 0, K.KA_IO_SINGLE_CONFIG_NO_FLAGS)
        K.kaIOSingleConfig(BOARD, AI, LOOPED_AI_CHANNEL, 1, K.KA_REF_AI_GROUND,
                           K.KA_TRIG_CHAN_DEFAULT, K.KA_TRIG_TYPE_SW, 0,
                           K.KA_IO_SINGLE_CONFIG_NO_FLAGS)
        for volts in (-2.5, 0.0, 3.3):
            batch = [transfer(AO, 0, K.KA_DIR_OUTPUT, volts_to_digital(volts, BOARD, AO, 0)),
                     transfer(AI, LOOPED_AI_CHANNEL, K.KA_DIR_INPUT)]
            K.kaIOSingle(batch, K.KA_IO_SINGLE_NO_FLAGS)
            read = digital_to_volts(batch[1]["Value"], BOARD, AI, 1)
            print(f"analog out {volts:+.3f} V -> analog in {read:+.4f} V "
                  f"(digital {batch[1]['Value']})")

        K.kaIOSingleConfig(BOARD, PORT_A, 0, K.KA_SINGLE_CONFIG_DIO_OUTPUT, 0, 0, 0, 0,
                           K.KA_IO_SINGLE_CONFIG_DIO_BYTE)
        pattern = 0b0101_0101
        for _ in range(3):
            batch = [transfer(PORT_A, 0, K.KA_DIR_OUTPUT, pattern, K.KA_IO_SINGLE_TYPE_DIO_BYTE),
                     transfer(PORT_B, 0, K.KA_DIR_INPUT, 0, K.KA_IO_SINGLE_TYPE_DIO_BYTE)]
            K.kaIOSingle(batch, K.KA_IO_SINGLE_NO_FLAGS)
            print(f"port A out {pattern:08b} -> port B in {batch[1]['Value']:08b}")
            pattern ^= 0xFF
    finally:
        K.kaClose(K.KA_CLOSE_NO_FLAGS)


if __name__ == "__main__":
    main()
