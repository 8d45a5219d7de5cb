#!/usr/bin/perl
# Prints every key of one tag of a multiple-index file, in tree order, as read by the independent
# reader XBase::Index: one line per key, "<key>\t<record number>". Character keys lose their
# trailing blanks and are converted from code page 866 to UTF-8; numeric keys (12-byte decimal
# form) print with 15 significant digits; date keys (Julian day doubles) as YYYY-MM-DD, the
# empty date as "(empty)".
# Usage: xbase_keys.pl FILE.MDX TAG
# Exit status 3 when XBase::Index is not installed.
use strict;
use warnings;

eval { require XBase::Index; 1 } or exit 3;
use Encode qw(decode encode);

my ($file, $tag) = @ARGV;
die "usage: xbase_keys.pl FILE TAG\n" unless defined $tag;

my $index = XBase::Index->new($file, 'tag' => $tag) or die XBase::Index->errstr;
my $type = $index->{'active'}{'key_type_1'};
$index->prepare_select or die $index->errstr;

# The digits are read from all ten digit bytes (unused digits are zero): writers disagree on the
# digit count that byte 1 keeps beside the sign.
sub numeric_key {
    my @b = unpack 'C*', shift;
    my $digits = '';
    for my $i (0 .. 19) {
        my $byte = $b[2 + int($i / 2)];
        my $digit = ($i % 2 == 0) ? ($byte >> 4) : ($byte & 15);
        $digits .= $digit > 9 ? 9 : $digit;
    }
    my $value = ("0." . $digits . "e" . ($b[0] - 52)) + 0;
    $value = -$value if $b[1] & 0x80;
    return sprintf('%.15g', $value);
}

sub civil_from_julian {
    my $jd = shift;
    my $a = $jd + 32044;
    my $b = int((4 * $a + 3) / 146097);
    my $c = $a - int(146097 * $b / 4);
    my $d = int((4 * $c + 3) / 1461);
    my $e = $c - int(1461 * $d / 4);
    my $m = int((5 * $e + 2) / 153);
    my $day = $e - int((153 * $m + 2) / 5) + 1;
    my $month = $m + 3 - 12 * int($m / 10);
    my $year = 100 * $b + $d - 4800 + int($m / 10);
    return sprintf('%04d-%02d-%02d', $year, $month, $day);
}

binmode STDOUT;
while (my ($key, $record) = $index->fetch) {
    my $text;
    if ($type eq 'N') {
        $text = numeric_key($key);
    } elsif ($type eq 'D') {
        my $day = unpack 'd<', $key;
        $text = $day >= 1e100 ? '(empty)' : civil_from_julian(int($day));
    } else {
        $key =~ s/ +$//;
        $text = encode('UTF-8', decode('cp866', $key));
    }
    print "$text\t$record\n";
}
die $index->errstr if $index->errstr;
