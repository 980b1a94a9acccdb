#!/usr/bin/perl
# How much of each expected text a screenshot's OCR output holds.
#
#   textscore.pl OCR.txt TEXT...
#
# Prints, per TEXT, the share (0 to 1) of its character pairs that the OCR output holds, each
# pair counted as often as it occurs. Case, spacing, punctuation and the width of CJK forms
# are ignored; printf conversions (%s, %d, %02d) split a TEXT into parts that are scored
# without the pairs across them, as the device name or a number stands there on screen.
use strict;
use warnings;
use utf8;
use open qw(:std :encoding(UTF-8));
use Encode qw(decode);
use Unicode::Normalize qw(NFKC);

sub normalise { my $t = lc NFKC (shift); $t =~ s/[^\p{L}\p{N}]//g; return $t; }

sub pairs
{
    my %count;
    for my $part (@_)
    {
        $count{substr ($part, $_, 2)}++ for 0 .. length ($part) - 2;
    }
    return %count;
}

my $file = shift @ARGV;
open my $in, '<', $file or die "textscore: $file: $!\n";
my %seen = pairs (normalise (do { local $/; <$in> }));

for my $text (map { decode ('UTF-8', $_) } @ARGV)
{
    $text =~ s/\\n/ /g;
    my %wanted = pairs (map { normalise ($_) } split /%[0-9]*[sd]/, $text);
    my ($total, $found) = (0, 0);
    for my $pair (keys %wanted)
    {
        $total += $wanted{$pair};
        $found += $wanted{$pair} < ($seen{$pair} // 0) ? $wanted{$pair} : ($seen{$pair} // 0);
    }
    printf "%.2f\n", $total ? $found / $total : 1;
}
