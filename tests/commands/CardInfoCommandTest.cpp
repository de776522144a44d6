// Tests of the card-information read.
